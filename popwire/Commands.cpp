// Commands of the caller's choice, status lines and raw writes.
#include "netframe/LastError.h"
#include "netframe/TextConversion.h"
#include "popwire.h"
#include "popwire/Conversation.h"
#include "popwire/PopLibrary.h"
#include "popwire/Transport.h"

using netframe::Fail;
using popwire::ClientPointer;
using popwire::PopLibrary;

extern "C" {

int PopCommandA(HCLIENT handle, const char* command, const char* parameter) {
    const ClientPointer client = PopLibrary::Instance().Lookup(handle);
    if (!client) {
        return 0;
    }
    return popwire::SendCommand(*client, command ? command : "", parameter ? parameter : "");
}

int PopQueueCommandA(HCLIENT handle, const char* command, const char* parameter) {
    const ClientPointer client = PopLibrary::Instance().Lookup(handle);
    if (!client) {
        return POP_ERROR;
    }
    return popwire::QueueCommand(*client, command ? command : "", parameter ? parameter : "")
               ? 1
               : POP_ERROR;
}

int PopReadQueuedReply(HCLIENT handle) {
    const ClientPointer client = PopLibrary::Instance().Lookup(handle);
    return client ? popwire::ReadQueuedReply(*client) : 0;
}

int PopGetResultCode(HCLIENT handle) {
    const ClientPointer client = PopLibrary::Instance().Lookup(handle);
    return client ? popwire::ReadStatus(*client) : 0;
}

int PopGetResultStringA(HCLIENT handle, char* buffer, int capacity) {
    const ClientPointer client = PopLibrary::Instance().Lookup(handle);
    if (!client) {
        return POP_ERROR;
    }
    if (!buffer || capacity <= 0) {
        return Fail(ERROR_POP_PARAMETER, POP_ERROR);
    }
    popwire::ReadStatus(*client);
    return netframe::CopyTruncated(client->resultText, buffer, capacity);
}

int PopWrite(HCLIENT handle, const void* data, int length) {
    const ClientPointer client = PopLibrary::Instance().Lookup(handle);
    if (!client) {
        return POP_ERROR;
    }
    if (!popwire::CheckInStep(*client)) {
        return POP_ERROR;
    }
    if (popwire::AwaitsServer(*client)) {
        return Fail(ERROR_POP_BLOCKED, POP_ERROR);
    }
    if (!data || length < 0) {
        return Fail(ERROR_POP_PARAMETER, POP_ERROR);
    }
    // Whatever the caller sends asks for a new answer.
    client->endOfData = false;
    const popwire::OperationDeadline deadline(*client, popwire::SendLimit(*client));
    if (!popwire::AwaitSocket(*client, popwire::Readiness::Write, popwire::SendLimit(*client),
                              ERROR_POP_WRITE) ||
        !popwire::SendData(*client, static_cast<const char*>(data), length)) {
        return POP_ERROR;
    }
    return length;
}

}  // extern "C"
