// The security of a session: TLS protocol, cipher and the server certificate's check.
#include "netframe/LastError.h"
#include "popwire.h"
#include "popwire/PopLibrary.h"

using netframe::Fail;

namespace {

// Fills every field but the texts, which differ between the two forms.
template <typename Info>
void FillFigures(const popwire::SecurityDetails& details, Info& info) {
    info.dwProtocol = details.protocol;
    info.dwCipher = details.cipher;
    info.dwCipherStrength = details.cipherStrength;
    info.dwHash = details.hash;
    info.dwHashStrength = details.hashStrength;
    info.dwKeyExchange = details.keyExchange;
    info.dwCertStatus = details.certificateStatus;
    info.stCertIssued = details.issued;
    info.stCertExpires = details.expires;
}

// The client behind `handle` when `info` is a record of the right size; null with the error.
template <typename Info>
popwire::ClientPointer ClientFor(HCLIENT handle, const Info* info) {
    popwire::ClientPointer client = popwire::PopLibrary::Instance().Lookup(handle);
    if (client && (!info || info->dwSize != sizeof(Info))) {
        return Fail(ERROR_POP_PARAMETER, nullptr);
    }
    return client;
}

}  // namespace

extern "C" {

int PopGetSecurityInformationA(HCLIENT handle, LPSECURITYINFO info) {
    const popwire::ClientPointer client = ClientFor(handle, info);
    if (!client) {
        return POP_ERROR;
    }
    const popwire::SecurityDetails& details = client->security;
    FillFigures(details, *info);
    info->lpszCertIssuer = details.issuer.empty() ? nullptr : details.issuer.c_str();
    info->lpszCertSubject = details.subject.empty() ? nullptr : details.subject.c_str();
    return 0;
}

int PopGetSecurityInformationW(HCLIENT handle, LPSECURITYINFOW info) {
    const popwire::ClientPointer client = ClientFor(handle, info);
    if (!client) {
        return POP_ERROR;
    }
    const popwire::SecurityDetails& details = client->security;
    FillFigures(details, *info);
    info->lpszCertIssuer = details.wideIssuer.empty() ? nullptr : details.wideIssuer.c_str();
    info->lpszCertSubject = details.wideSubject.empty() ? nullptr : details.wideSubject.c_str();
    return 0;
}

}  // extern "C"
