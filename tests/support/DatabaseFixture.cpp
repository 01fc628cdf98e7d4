#include "support/DatabaseFixture.h"

#include "core/ThreadData.h"
#include "database/AppPropertyCollection.h"
#include "database/Schema.h"

namespace moxeltest {

void DatabaseTest::SetUp() {
    InitializeThreadData();
    // The process prepares its database only once; when several tests share one process
    // (running the binary by hand), each new data folder still needs its tables and its settings.
    DatabaseLayer::CreateAllTables();
    DatabaseLayer::LoadAppProperties();
}

void DatabaseTest::TearDown() {
    ReleaseThreadData();
}

}  // namespace moxeltest
