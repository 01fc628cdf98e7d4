/* smtpwire: the SMTP client library Moxel sends its letters with.
 *
 * Every function that can fail returns -1 (or 0 where noted) and stores an error code as the
 * calling thread's last error; SmtpGetErrorStringA gives its text. A handle is a signed 32-bit
 * integer bound to the thread that made it: from any other thread it is an invalid handle. Texts
 * are UTF-8. No function ends the process or lets an exception out.
 *
 * Errors (SmtpGetLastError):
 *   28001 invalid parameter (a null pointer, a line break in a command argument, a piece of
 *         more than 256 bytes, a date buffer too small), 28002 invalid handle, 28003 library not
 *         initialised, 28004 host name not resolved, 28005 connection refused or unreachable,
 *         28006 time-out, 28007 connection closed by the server, 28008 transport failure,
 *         28009 a reply that is not SMTP, 28010 the session failed earlier (see below),
 *         28011 TLS failed, 28012 the server's certificate was refused, 28013 login refused
 *         locally over an unencrypted connection to a host that is not loopback, 28014 no
 *         supported login mechanism offered, 28015 call out of order, 28016 internal error;
 *   refusals by the server, whose error text ends with the server's own reply (for example
 *   "The SMTP server refused the recipient: 550 5.1.1 <x@y>: Recipient address rejected"):
 *         28020 greeting, 28021 HELO, 28022 login, 28023 sender (or RSET), 28024 recipient,
 *         28025 DATA, 28026 end of the message, 28027 STARTTLS.
 *   The error text holds only printable ASCII and is bounded; the reply is part of it only
 *   when asked on the failing thread for its last error.
 *
 * Deadlines: each call that talks to the server has one deadline, `timeoutSeconds` of
 * SmtpConnectA from the call's start, for all of its exchanges (connect, TLS handshake, every
 * reply). A time-out, a lost connection or a reply that is not SMTP breaks the session: every
 * later call on the handle fails with 28010 until SmtpDisconnect. A refusal by the server
 * leaves the session usable: the next SmtpSetSenderA starts a fresh transaction (RSET).
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

/* Connects to `host` (a name, an IPv4 or IPv6 address) at `port` and reads the greeting, all
 * within `timeoutSeconds` (0: 60); the same time-out bounds every later call on the handle.
 * Port 465 speaks TLS from the first byte. A greeting other than 220 fails with its text.
 * Returns a handle, or -1. */
SMTPWIRE_API int SmtpConnectA(const char* host, int port, int timeoutSeconds);

/* Greets the server with EHLO, falling back to HELO when EHLO is refused; `extended` (1 when
 * SmtpAuthenticateA will follow) changes nothing, since STARTTLS and 8BITMIME need EHLO
 * anyway. When the server offers STARTTLS the session turns to TLS (certificate checked
 * against the system's authorities and the host name) and greets again. `domain` names this
 * host; null uses the local host name. 0 or -1. */
SMTPWIRE_API int SmtpHelloA(int handle, const char* domain, int extended);

/* Logs in with the user name and password: CRAM-MD5, PLAIN or LOGIN, the first the server
 * offers in that order. Over an unencrypted connection only to a loopback address (28013
 * otherwise, before anything is sent). 0 or -1. */
SMTPWIRE_API int SmtpAuthenticateA(int handle, const char* userName, const char* password);

/* Sets the envelope sender (MAIL FROM, with BODY=8BITMIME when offered); "" is the null
 * sender. An earlier transaction that did not end is reset first. 0 or -1. */
SMTPWIRE_API int SmtpSetSenderA(int handle, const char* address);

/* Adds an envelope recipient (RCPT TO). 0 or -1. */
SMTPWIRE_API int SmtpAddRecipientA(int handle, const char* address);

/* Writes the current date and time, fit for a Date header field, as a zero-terminated text into
 * `buffer` of `size` bytes (128 suffice): "Mon, 07 Dec 2026 17:55:01 +0100", local time with
 * its offset from UTC. Returns its length, or -1. */
SMTPWIRE_API int SmtpGetDateTimeA(char* buffer, int size);

/* Adds `length` bytes (1 to 256 per call) to the message content; the first write after the
 * recipients sends DATA. Every line end (CR LF, bare LF, bare CR) reaches the server as CR LF
 * and every line beginning with "." is sent with a second one. Content is sent in batches, so a
 * lost connection may show only at a later write or at SmtpEndMessage. Returns `length`, or
 * -1. */
SMTPWIRE_API int SmtpWrite(int handle, const void* data, int length);

/* Completes the message (a last line end when missing, then "." CR LF; DATA first when
 * nothing was written) and reads the server's verdict; 0 when it accepted the message, or
 * -1. */
SMTPWIRE_API int SmtpEndMessage(int handle);

/* Sends QUIT (unless the session is broken; its reply waited for at most 5 seconds), closes
 * the connection and frees the handle. 0, or -1 for an invalid handle. */
SMTPWIRE_API int SmtpDisconnect(int handle);

/* The code of the calling thread's last failure. */
SMTPWIRE_API int SmtpGetLastError(void);

/* Writes the text of `code` into `buffer` of `size` bytes, truncated to fit; returns its
 * length, or 0 when the code has no text or the buffer is null. */
SMTPWIRE_API int SmtpGetErrorStringA(int code, char* buffer, int size);

#ifdef __cplusplus
}
#endif

#endif /* SMTPWIRE_H */
