#include "netframe/TraceLibrary.h"

#include <dlfcn.h>

#include "netframe/ModuleLocator.h"

namespace netframe {

namespace {

template <typename Function>
void Resolve(void* module, const char* name, Function& function) {
    function = reinterpret_cast<Function>(::dlsym(module, name));
}

}  // namespace

bool TraceLibrary::Load() {
    if (module) {
        return true;
    }
    const std::string path = LocateModule(kTraceModuleName, kTraceModuleVariable);
    module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        return false;
    }
    Resolve(module, "WSASetupTrace", setup);
    Resolve(module, "WSAEnableTrace", enable);
    Resolve(module, "WSADisableTrace", disable);
    Resolve(module, "WSAGetTraceUsage", getUsage);
    Resolve(module, "WSASetTraceFile", setFile);
    Resolve(module, "WSAGetTraceFile", getFile);
    Resolve(module, "WSASetTraceFlags", setFlags);
    Resolve(module, "WSAGetTraceFlags", getFlags);
    Resolve(module, "WSATraceWrite", write);
    return true;
}

void* TraceLibrary::Find(const std::string& symbol) const {
    return module ? ::dlsym(module, symbol.c_str()) : nullptr;
}

}  // namespace netframe
