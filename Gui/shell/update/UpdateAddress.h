#pragma once

#include <QString>

// The update service's address: a deployment value, kept here only. The environment variable
// MOXEL_UPDATE_URL replaces it (tests point it at a server on loopback).
constexpr const char* kUpdateServiceAddress = "https://www.ostrand.com/moxel/update";

// The address in use: MOXEL_UPDATE_URL when set, else kUpdateServiceAddress.
QString UpdateServiceAddress();
