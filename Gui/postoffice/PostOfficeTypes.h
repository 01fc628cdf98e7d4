#pragma once

// Registers the creators of the post office's polymorphic rows with their type registries:
// LetterDistributor 1 (PopLetterDistributor), PopClient 1 (TarnwellPopClient) and 2
// (PlaceholderPopClient). Called once per process during start-up, before any such row is
// loaded; registering again replaces the creators with equal ones.
void RegisterPostOfficeTypes();
