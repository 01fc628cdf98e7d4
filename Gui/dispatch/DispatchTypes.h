#pragma once

// Registers the creator of dispatch point rows with their type registry: DispatchPoint 1
// (TarnwellSmtpDispatchPoint). Called once per process during start-up, before any such row is
// loaded; registering again replaces the creator with an equal one.
void RegisterDispatchTypes();
