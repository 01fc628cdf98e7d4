#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

#include "core/Exception.h"
#include "core/Format.h"
#include "database/ObjectDataTable.h"
#include "database/ThreadDatabase.h"

namespace DatabaseLayer {

// Builds the right subclass of `Base` for a row from the row's `type` column. One registry per
// polymorphic base, process-wide; registration happens once at start-up, lookups on any thread.
template <typename Base>
class TypeRegistry {
public:
    using Creator = std::function<std::shared_ptr<Base>(std::int64_t id)>;

    static void Register(std::int32_t type, Creator creator) {
        auto& registry = Instance();
        std::lock_guard lock(registry.mutex);
        registry.creators[type] = std::move(creator);
    }

    // Reads the row's type and calls its creator. An unregistered type throws Exception
    // "Unsupported object type".
    static std::shared_ptr<Base> CreateFromTable(const ObjectDataTable& table, std::int64_t id) {
        const int type =
            ExecuteScalar(Format("SELECT type FROM %1% WHERE id = %2%;", table.TableName(), id));
        Creator creator;
        {
            auto& registry = Instance();
            std::lock_guard lock(registry.mutex);
            const auto found = registry.creators.find(type);
            if (found == registry.creators.end()) {
                throw Exception("Unsupported object type");
            }
            creator = found->second;
        }
        return creator(id);
    }

private:
    static TypeRegistry& Instance() {
        static TypeRegistry registry;
        return registry;
    }

    std::mutex mutex;
    std::map<std::int32_t, Creator> creators;
};

}  // namespace DatabaseLayer
