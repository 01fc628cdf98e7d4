/* A client of sockwire written in plain C against the public header: listens and connects on
 * loopback, exchanges a line each way, checks the error interface and cleans up. Exits 0 when
 * everything holds, 1 after printing what did not. */
#include <stdio.h>
#include <string.h>

#include "sockwire.h"

static int failures = 0;

static void Check(int condition, const char* what) {
    if (!condition) {
        fprintf(stderr, "failed: %s (last error %u)\n", what, (unsigned)InetGetLastError());
        ++failures;
    }
}

static int ReadExactly(SOCKET socket, char* buffer, int count) {
    int received = 0;
    while (received < count) {
        const int result = InetRead(socket, buffer + received, count - received);
        if (result <= 0) {
            return received;
        }
        received += result;
    }
    return received;
}

int main(void) {
    INITDATA data;
    memset(&data, 0, sizeof(data));
    data.dwSize = sizeof(data);
    Check(InetInitializeA(NULL, &data) == 1, "initialise");
    Check(data.dwVersionMajor == 3 && data.dwVersionMinor == 60, "version 3.60");

    const uint32_t loopback = InetGetHostAddressA("127.0.0.1");
    const SOCKET listener = InetListen(loopback, 0);
    Check(listener != INVALID_SOCKET, "listen");
    uint32_t address = 0;
    uint32_t port = 0;
    Check(InetGetLocalAddress(listener, &address, &port) == 0 && port != 0, "listening port");

    const SOCKET client = InetConnectA("127.0.0.1", port, INET_PROTOCOL_TCP, 10);
    Check(client != INVALID_SOCKET, "connect");
    const SOCKET server = InetAccept(listener, 10);
    Check(server != INVALID_SOCKET, "accept");

    static const char request[] = "HELO from C\r\n";
    static const char reply[] = "250 fine\r\n";
    char buffer[64];
    Check(InetWrite(client, request, (int)strlen(request)) == (int)strlen(request), "write");
    Check(ReadExactly(server, buffer, (int)strlen(request)) == (int)strlen(request) &&
              memcmp(buffer, request, strlen(request)) == 0,
          "server reads the request");
    Check(InetWrite(server, reply, (int)strlen(reply)) == (int)strlen(reply), "reply");
    Check(ReadExactly(client, buffer, (int)strlen(reply)) == (int)strlen(reply) &&
              memcmp(buffer, reply, strlen(reply)) == 0,
          "client reads the reply");

    char text[16];
    InetFormatAddressA(address, text, sizeof(text));
    Check(strcmp(text, "127.0.0.1") == 0, "format address");

    Check(InetRead(client, NULL, 10) == INET_ERROR && InetGetLastError() == ERROR_INET_PARAMETER,
          "a null buffer is refused");
    char message[128];
    Check(InetGetErrorStringA(InetGetLastError(), message, sizeof(message)) > 0 &&
              strcmp(message, "Invalid parameter passed to function") == 0,
          "error text");

    Check(InetDisconnect(client) == 0, "disconnect client");
    Check(ReadExactly(server, buffer, 1) == 0, "server sees the close");
    Check(InetDisconnect(server) == 0 && InetDisconnect(listener) == 0, "disconnect");
    Check(InetDisconnect(server) == INET_ERROR && InetGetLastError() == ERROR_INET_HANDLE,
          "a closed handle is unknown");
    InetUninitialize();

    if (failures) {
        fprintf(stderr, "%d checks failed\n", failures);
        return 1;
    }
    printf("all checks passed\n");
    return 0;
}
