#pragma once

#include <QString>
#include <QStringList>

#include "shell/resources/ResourceIcons.h"

// The titles, bodies and icons of every balloon, as the user sees them, and the helpers that
// fill them in. Pure functions; any thread (core events compose on the thread that raises them).
namespace BalloonTexts {

// The same icons as everywhere in the shell (not copies, so that both names mean one thing).
using ::kIconBullet;
using ::kIconClose;
using ::kIconInformation;
using ::kIconWarning;

// Error texts longer than this are cut (with "...") before they go into a balloon.
constexpr int kMaxErrorLength = 600;

extern const char* const kFrameFormat;
extern const char* const kListStart;
extern const char* const kListItemFormat;
extern const char* const kListEnd;

extern const char* const kFinishedTitle;
extern const char* const kFinishedBody;

extern const char* const kProblemTitle;
extern const char* const kProblemFormat;
extern const char* const kReasonSettings;
extern const char* const kReasonNetwork;

extern const char* const kNoInternetTitle;
extern const char* const kNoInternetBody;

extern const char* const kConfigureTitle;
extern const char* const kConfigureFormat;
extern const char* const kMissingAccounts;
extern const char* const kMissingSmtpServer;

extern const char* const kUninstallingTitle;
extern const char* const kUninstallingFormat;
extern const char* const kUninstallStep1;
extern const char* const kUninstallStep2;
extern const char* const kUninstallStep3;
extern const char* const kUninstallStep4;

extern const char* const kNewVersionTitle;

// `format` with "%1%", "%2%", ... replaced in one pass by `values` (a value is not searched
// again for placeholders).
QString Fill(const QString& format, const QStringList& values);

// The list mark-up of `items`, one bulleted row each.
QString List(const QStringList& items);

// The whole balloon mark-up: title row with the icon and the close button, then the body.
QString Frame(int icon, const QString& title, const QString& body);

// `error` made safe for the mark-up: cut to kMaxErrorLength, with <, > and & as entities, and
// with a place to break the line in every 40 characters without a blank.
QString EscapeErrorText(const QString& error);

// The body of "Problem When Downloading Mail" for `error`.
QString ProblemBody(const QString& error);
// The body of "Configure Moxel" for the missing pieces.
QString ConfigureBody(bool noAccounts, bool noSmtpServer);
// The body of "Uninstalling".
QString UninstallingBody();

}  // namespace BalloonTexts
