#include "popserver/CInet.h"

#include <array>

CInet::CInet() : initialized(InetInitializeA(nullptr, nullptr)) {}

CInet::~CInet() {
    Disconnect();
    if (initialized != 0) {
        InetUninitialize();
    }
}

void CInet::Disconnect() {
    if (socket != INVALID_SOCKET) {
        InetDisconnect(socket);
        socket = INVALID_SOCKET;
    }
}

bool CInet::GetPeerAddress(std::uint32_t& address, std::uint32_t& port) const {
    return InetGetPeerAddress(socket, &address, &port) == 0;
}

bool CInet::GetLocalAddress(std::uint32_t& address, std::uint32_t& port) const {
    return InetGetLocalAddress(socket, &address, &port) == 0;
}

std::string CInet::FormatAddress(std::uint32_t address) {
    std::array<char, 32> text{};
    InetFormatAddressA(address, text.data(), static_cast<int>(text.size()));
    return text.data();
}

std::string CInet::GetErrorString(std::uint32_t code) {
    std::array<char, 129> text{};
    if (InetGetErrorStringA(code, text.data(), static_cast<int>(text.size())) <= 0) {
        return {};
    }
    return text.data();
}
