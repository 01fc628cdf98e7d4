#pragma once

namespace DatabaseLayer {

// Creates every table of the program in its fixed order, and the indexes of its lookups;
// existing tables and indexes are kept as they are.
// Throws Exception when a missing table cannot be created.
void CreateAllTables();

}  // namespace DatabaseLayer
