/* A client of popwire written in plain C against the public header that drives a session by
 * window notifications: a forked child plays a POP3 server on loopback, the parent connects
 * asynchronously, waits in its message loop for POP_EVENT_CONNECT, logs in, reads a message
 * on POP_EVENT_READ and disconnects. Exits 0 when everything holds, 1 after printing what did
 * not. */
#define _POSIX_C_SOURCE 200809L
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/windows/message_windows.h"
#include "popwire.h"

static int failures = 0;
static int connected = -1; /* the error of POP_EVENT_CONNECT, -1 until it comes */
static int ended = 0;      /* the message was read to its end */
static char text[256];
static size_t textLength = 0;

static void Check(int condition, const char* what) {
    if (!condition) {
        fprintf(stderr, "failed: %s (last error %u)\n", what, (unsigned)PopGetLastError());
        ++failures;
    }
}

static void OnEvent(HCLIENT client, uint32_t event, uint32_t error, uintptr_t parameter) {
    (void)parameter;
    if (event == POP_EVENT_CONNECT) {
        connected = (int)error;
    }
    if (event == POP_EVENT_READ && PopGetMultiLine(client)) {
        for (;;) {
            const int read =
                PopRead(client, text + textLength, (int)(sizeof(text) - textLength - 1));
            if (read <= 0) {
                ended = read == 0;
                return;
            }
            textLength += (size_t)read;
        }
    }
}

/* The server's side: greeting, then one answer per command line. */
static void Serve(int listener) {
    static const char* const answers[] = {"+OK\r\n",      "+OK\r\n",
                                          "+OK 1 12\r\n", "+OK 1 12\r\n",
                                          "+OK 1 id\r\n", "+OK\r\nhello there\r\n.\r\n",
                                          "+OK bye\r\n"};
    const int connection = accept(listener, NULL, NULL);
    if (connection < 0) {
        _exit(1);
    }
    write(connection, "+OK ready\r\n", 11);
    char line[512];
    size_t used = 0;
    size_t answered = 0;
    while (answered < sizeof(answers) / sizeof(answers[0])) {
        const ssize_t got = read(connection, line + used, 1);
        if (got <= 0) {
            break;
        }
        if (line[used] == '\n') {
            write(connection, answers[answered], strlen(answers[answered]));
            ++answered;
            used = 0;
        } else if (used < sizeof(line) - 1) {
            ++used;
        }
    }
    close(connection);
    _exit(0);
}

int main(void) {
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    struct sockaddr_in address;
    memset(&address, 0, sizeof(address));
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    if (bind(listener, (struct sockaddr*)&address, sizeof(address)) != 0 ||
        listen(listener, 1) != 0 ||
        getsockname(listener, (struct sockaddr*)&address, &length) != 0) {
        perror("listen");
        return 1;
    }
    const pid_t server = fork();
    if (server == 0) {
        Serve(listener);
    }
    close(listener);

    Check(PopInitializeA(NULL, NULL) == 1, "initialise");
    const MOXEL_HWND window = MoxelCreateMessageWindow(NULL);
    const HCLIENT client =
        PopAsyncConnectA("127.0.0.1", ntohs(address.sin_port), 5, window, MOXEL_WM_USER + 1);
    Check(client != INVALID_CLIENT, "asynchronous connect returns a handle at once");
    Check(PopGetHwndClient(window) == client, "the window names its client");
    Check(PopRegisterEvent(client, POP_EVENT_CONNECT | POP_EVENT_READ, OnEvent, 0) == 0,
          "register the events");
    for (int i = 0; i < 100 && connected < 0; ++i) {
        MoxelPumpMessages(50);
    }
    Check(connected == 0, "POP_EVENT_CONNECT without error");
    Check(PopLoginA(client, "user", "pass") == 0, "login");
    Check(PopGetMessage(client, 1, NULL) == 0, "open message 1");
    for (int i = 0; i < 100 && !ended; ++i) {
        MoxelPumpMessages(50);
    }
    Check(ended && strcmp(text, "hello there\r\n") == 0, "message text read on POP_EVENT_READ");
    Check(PopDisconnect(client) == 0, "disconnect");
    Check(PopGetClientHwnd(client) == NULL && PopGetLastError() == ERROR_POP_HANDLE,
          "the handle is gone");
    MoxelDestroyWindow(window);
    PopUninitialize();
    int status = 0;
    waitpid(server, &status, 0);
    Check(WIFEXITED(status) && WEXITSTATUS(status) == 0, "the server saw the whole session");
    if (failures == 0) {
        printf("popwire from C: asynchronous session passed\n");
    }
    return failures == 0 ? 0 : 1;
}
