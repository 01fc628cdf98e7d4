/* smtpwire: the SMTP client library Moxel sends its letters with.
 *
 * Every function that can fail returns -1 (or 0 where noted) and stores an error code as the
 * calling thread's last error; SmtpGetErrorStringA gives its text. A handle is a signed 32-bit
 * integer bound to the thread that made it. Texts are UTF-8.
 *
 * Export ordinals (kept for reference; on ELF the functions are bound by name):
 *   1 SmtpAddRecipientA, 6 SmtpSetSenderA, 11 SmtpConnectA, 13 SmtpDisconnect,
 *   14 SmtpEndMessage, 17 SmtpGetDateTimeA, 19 SmtpGetErrorStringA, 21 SmtpGetLastError,
 *   29 SmtpInitializeA, 35 SmtpUninitialize, 38 SmtpWrite, 39 SmtpHelloA, 49 SmtpAuthenticateA
 */
#ifndef SMTPWIRE_H
#define SMTPWIRE_H

#ifdef __cplusplus
extern "C" {
#endif

#define SMTPWIRE_API __attribute__((visibility("default")))

/* Initialises the library for the process; calls nest. `reserved` and `initData` may be null.
 * Returns nonzero on success, 0 on failure. */
SMTPWIRE_API int SmtpInitializeA(const char* reserved, void* initData);

/* Undoes one successful SmtpInitializeA; the last one closes every connection. */
SMTPWIRE_API void SmtpUninitialize(void);

/* Connects to `host` at `port`, waiting at most `timeoutSeconds` for each reply.
 * Returns a handle, or -1. */
SMTPWIRE_API int SmtpConnectA(const char* host, int port, int timeoutSeconds);

/* Greets the server (EHLO when `extended` is 1, so that SmtpAuthenticateA may follow; HELO
 * otherwise). `domain` names this host; null uses the local host name. 0 or -1. */
SMTPWIRE_API int SmtpHelloA(int handle, const char* domain, int extended);

/* Logs in with the user name and password. 0 or -1. */
SMTPWIRE_API int SmtpAuthenticateA(int handle, const char* userName, const char* password);

/* Sets the envelope sender (MAIL FROM). 0 or -1. */
SMTPWIRE_API int SmtpSetSenderA(int handle, const char* address);

/* Adds an envelope recipient (RCPT TO). 0 or -1. */
SMTPWIRE_API int SmtpAddRecipientA(int handle, const char* address);

/* Writes the current date and time, fit for a Date header field, as a zero-terminated text into
 * `buffer` of `size` bytes (128 suffice). Returns its length, or -1. */
SMTPWIRE_API int SmtpGetDateTimeA(char* buffer, int size);

/* Adds `length` bytes (at most 256 per call) to the message content; the first write after the
 * recipients begins the content. Returns the number of bytes taken, or -1. */
SMTPWIRE_API int SmtpWrite(int handle, const void* data, int length);

/* Completes the message; 0 when the server accepted it, or -1. */
SMTPWIRE_API int SmtpEndMessage(int handle);

/* Closes the connection and frees the handle. 0 or -1. */
SMTPWIRE_API int SmtpDisconnect(int handle);

/* The code of the calling thread's last failure. */
SMTPWIRE_API int SmtpGetLastError(void);

/* Writes the text of `code` into `buffer` of `size` bytes; returns its length, or 0 when the
 * code has no text. */
SMTPWIRE_API int SmtpGetErrorStringA(int code, char* buffer, int size);

#ifdef __cplusplus
}
#endif

#endif /* SMTPWIRE_H */
