#pragma once

#include <string>

#include "database/LetterTypes.h"

// The letters of the SMTP settings test go from each protected address to the user's own
// address, so they come back through the user's own POP3 account. There they must never be
// taken for mail of an unknown sender, which would answer the user's own address with a
// verification request. Each carries the header "X-Moxel-Test" with this installation's
// marker, a random text made once and kept in the settings: the sorting puts a letter that
// carries it straight into the inbox. A stranger cannot forge the marker, so it opens no door
// for spam sent in the user's own name.
inline constexpr char kSettingsTestHeader[] = "X-Moxel-Test";
inline constexpr char kSettingsTestSubject[] = "Testing Moxel SMTP settings.";
inline constexpr char kSettingsTestBody[] = "This is a test email from Moxel.";

// A new test letter (not persistent) from `sender` to `recipient` with the test's subject and
// body, the return path "<>" and the marker header.
LetterPtr MakeSettingsTestLetter(const std::string& sender, const std::string& recipient);
// Whether the letter's header block carries this installation's marker.
bool IsSettingsTestLetter(const Letter& letter);
