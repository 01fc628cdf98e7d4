#include "shell/balloon/BalloonTexts.h"

namespace BalloonTexts {

const char* const kFrameFormat =
    "<table>\n\t<tr>\n\t\t<td valign=middle><icon idres=%1% width=16 height=16> <b> "
    "%3%</b></td>\n\t\t<td>\n\t\t\t<right>\n\t\t\t\t<a>\n\t\t\t\t\t<icon idres=%2% width=16 "
    "height=16 style=g "
    "hotstyle>\n\t\t\t\t</a>\n\t\t\t</right>\n\t\t</td>\n\t</tr>\n\t<tr>\n\t\t<td "
    "colspan=2>\n\t\t\t<br>\n\t\t\t%4%\n\t\t</td>\n\t</tr>\n</table>";
const char* const kListStart = "<table>\n";
const char* const kListItemFormat =
    "\t<tr>\n\t\t<td valign=top><icon idres=%1% width=16 height=16></td>\n\t\t<td>\n\t\t%2%\n\t\t"
    "</td>\n\t</tr>\n";
const char* const kListEnd = "</table>";

const char* const kFinishedTitle = "Finished Downloading Mail";
const char* const kFinishedBody =
    "Moxel has finished downloading and processing messages<br>\nfrom your POP account(s).<br>\n"
    "<br>\n<hr color=black><br>\n<a msg=\"show-logs\">View application's event logs</a>\n";

const char* const kProblemTitle = "Problem When Downloading Mail";
const char* const kProblemFormat =
    "\t\t\tThe following error occurred while trying to download mail from a POP "
    "account:<br>\n\t\t\t<br>\n\t\t\t<i>%1%</i><br>\n\t\t\t<br>\n\t\t\t<br>\n\t\t\t<hr "
    "color=black><br>\n\t\t\tPossible reasons:<br>\n\t\t\t%2%\n\t\t\t<hr "
    "color=black><br>\n\t\t\t<a msg=\"show-logs\">View application's event logs</a>\n";
const char* const kReasonSettings =
    "Invalid POP account settings<br>\n<i><a msg=\"show-settings\">View the list of accounts "
    "protected by Moxel</a></i><br>\n";
const char* const kReasonNetwork =
    "Network error or timeout<br>\n<i>Check your network settings or contact your network "
    "administrator</i><br>\n";

const char* const kNoInternetTitle = "No Internet Connection";
const char* const kNoInternetBody =
    "It appears that you are offline. <br>\n<br>\nPlease note that while you are offline Moxel "
    "is not able to download new mail.<br>\n<br>\n<a msg=\"show-logs\">View application's event "
    "logs</a><br>\n<br>\n<hr color=black><br>\n<a msg=\"disable-no-internet-tip\">Do not show "
    "this tip again";

const char* const kConfigureTitle = "Configure Moxel";
const char* const kConfigureFormat =
    "Complete your setup to enable anti-spam protection.<br>\n%1%\n<br>\n<a "
    "msg=\"show-settings\">Open the <b>Settings</b> dialog</a>\n<br>\n<br>\n<hr "
    "color=black><br>\n<a msg=\"disable-incomplete-settings-tip\">Do not show this tip again";
const char* const kMissingAccounts =
    "There are no accounts protected at the moment. Add one or more accounts.";
const char* const kMissingSmtpServer =
    "There is no SMTP server (Moxel needs it to send verification messages).";

const char* const kUninstallingTitle = "Uninstalling";
const char* const kUninstallingFormat =
    "One or more email accounts are protected by Moxel. Please follow<br>\nthese steps to "
    "retrieve messages from the accounts:\n<br>\n%1%\n<br>\n<center><font color=red><b>IF YOU "
    "DO NOT REMOVE THE ACCOUNTS YOU MAY LOSE<br>\nSOME OF YOUR "
    "MESSAGES!</b></font></center><br>\n<br>\n<hr color=black><br>\n<a "
    "msg=\"show-settings\">Open the <b>Settings</b> dialog</a>";
const char* const kUninstallStep1 = "Open the <b>Settings</b> dialog.";
const char* const kUninstallStep2 =
    "Select an account you want to remove protection for and click <b>Remove</b>.";
const char* const kUninstallStep3 = "Follow the steps of the Wizard.";
const char* const kUninstallStep4 =
    "After you repeat it for every account, exit Moxel to continue<br>\nthe uninstallation "
    "process.";

const char* const kNewVersionTitle = "New Program Version";

QString Fill(const QString& format, const QStringList& values) {
    QString out;
    out.reserve(format.size());
    int position = 0;
    while (position < format.size()) {
        if (format[position] == '%') {
            const int end = static_cast<int>(format.indexOf('%', position + 1));
            bool isNumber = false;
            const int index = end > position + 1
                                  ? format.mid(position + 1, end - position - 1).toInt(&isNumber)
                                  : 0;
            if (isNumber && index >= 1 && index <= values.size()) {
                out += values[index - 1];
                position = end + 1;
                continue;
            }
        }
        out += format[position];
        ++position;
    }
    return out;
}

QString List(const QStringList& items) {
    QString out = QString::fromUtf8(kListStart);
    for (const QString& item : items) {
        out += Fill(QString::fromUtf8(kListItemFormat), {QString::number(kIconBullet), item});
    }
    return out + QString::fromUtf8(kListEnd);
}

QString Frame(int icon, const QString& title, const QString& body) {
    return Fill(QString::fromUtf8(kFrameFormat),
                {QString::number(icon), QString::number(kIconClose), title, body});
}

QString EscapeErrorText(const QString& error) {
    QString shortened = error;
    if (shortened.size() > kMaxErrorLength) {
        shortened = shortened.left(kMaxErrorLength) + QStringLiteral("...");
    }
    // A long run without blanks (a path, a base64 line) would widen the balloon past the
    // screen: give it places to break.
    constexpr int kLongestRun = 40;
    QString breakable;
    int run = 0;
    for (const QChar c : shortened) {
        run = c.isSpace() ? 0 : run + 1;
        if (run > kLongestRun) {
            breakable += QChar(0x200B);
            run = 1;
        }
        breakable += c;
    }
    return breakable.toHtmlEscaped();
}

QString ProblemBody(const QString& error) {
    return Fill(QString::fromUtf8(kProblemFormat),
                {EscapeErrorText(error),
                 List({QString::fromUtf8(kReasonSettings), QString::fromUtf8(kReasonNetwork)})});
}

QString ConfigureBody(bool noAccounts, bool noSmtpServer) {
    QStringList missing;
    if (noAccounts) {
        missing.append(QString::fromUtf8(kMissingAccounts));
    }
    if (noSmtpServer) {
        missing.append(QString::fromUtf8(kMissingSmtpServer));
    }
    return Fill(QString::fromUtf8(kConfigureFormat), {List(missing)});
}

QString UninstallingBody() {
    return Fill(QString::fromUtf8(kUninstallingFormat),
                {List({QString::fromUtf8(kUninstallStep1), QString::fromUtf8(kUninstallStep2),
                       QString::fromUtf8(kUninstallStep3), QString::fromUtf8(kUninstallStep4)})});
}

}  // namespace BalloonTexts
