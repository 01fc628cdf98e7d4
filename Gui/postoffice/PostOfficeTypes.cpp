#include "postoffice/PostOfficeTypes.h"

#include <cstdint>
#include <memory>

#include "database/TypeRegistry.h"
#include "postoffice/LetterDistributor.h"
#include "postoffice/PlaceholderPopClient.h"
#include "postoffice/PopClient.h"
#include "postoffice/PopLetterDistributor.h"
#include "postoffice/PopLetterDistributorData.h"
#include "postoffice/TarnwellPopClient.h"

void RegisterPostOfficeTypes() {
    using DatabaseLayer::TypeRegistry;
    TypeRegistry<LetterDistributor>::Register(
        DatabaseLayer::PopLetterDistributorData::kType,
        [](std::int64_t id) { return std::make_shared<PopLetterDistributor>(id); });
    TypeRegistry<PopClient>::Register(
        DatabaseLayer::TarnwellPopClientData::kType,
        [](std::int64_t id) { return std::make_shared<TarnwellPopClient>(id); });
    TypeRegistry<PopClient>::Register(
        DatabaseLayer::PlaceholderPopClientData::kType,
        [](std::int64_t id) { return std::make_shared<PlaceholderPopClient>(id); });
}
