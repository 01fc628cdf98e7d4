#include <gtest/gtest.h>

#include <string>

#include "database/MessageText.h"
#include "postoffice/AutomaticMailRule.h"
#include "postoffice/MessageIds.h"

namespace {

struct RuleCase {
    const char* label;
    // A header block; the sender is its From address as the letter stores it.
    std::string headers;
    std::string sender;
    // Empty: the letter is from a person. Otherwise a part of the logged reason.
    std::string reason;
};

const RuleCase kRuleCases[] = {
    {"Auto-Submitted: auto-replied", "Auto-Submitted: auto-replied", "a@x.org", "Auto-Submitted"},
    {"Auto-Submitted: auto-generated with a comment", "Auto-Submitted: auto-generated (bounce)",
     "a@x.org", "auto-generated (bounce)"},
    {"header name in capitals", "AUTO-SUBMITTED: auto-notified", "a@x.org", "auto-notified"},
    {"value folded onto the next line", "Auto-Submitted:\n\tauto-replied", "a@x.org",
     "auto-replied"},
    {"Precedence: bulk", "Precedence: bulk", "a@x.org", "Precedence: bulk"},
    {"Precedence: list in capitals", "precedence: LIST", "a@x.org", "LIST"},
    {"Precedence: junk", "Precedence: junk", "a@x.org", "junk"},
    {"repeated Precedence, the first one bulk", "Precedence: bulk\nPrecedence: first-class",
     "a@x.org", "bulk"},
    {"List-Id", "List-Id: <users.lists.x.org>", "a@x.org", "List-Id"},
    {"List-Unsubscribe", "list-unsubscribe: <mailto:u@x.org>", "a@x.org", "list-unsubscribe"},
    {"mailer-daemon", "Subject: failure", "mailer-daemon@x.org", "is a program"},
    {"postmaster", "", "postmaster@x.org", "is a program"},
    {"noreply", "", "noreply@x.org", "is a program"},
    {"no-reply", "", "no-reply@x.org", "is a program"},
    {"owner- prefix", "", "owner-users@lists.x.org", "is a program"},
    {"-request suffix", "", "users-request@lists.x.org", "is a program"},
    {"-bounces suffix", "", "users-bounces@lists.x.org", "is a program"},
    // From people.
    {"Precedence: first-class", "Precedence: first-class", "a@x.org", ""},
    {"Auto-Submitted: no", "Auto-Submitted: no", "a@x.org", ""},
    {"Auto-Submitted: NO (person)", "Auto-Submitted: NO (typed by hand)", "a@x.org", ""},
    {"an empty Auto-Submitted", "Auto-Submitted:", "a@x.org", ""},
    {"a name that only starts like one", "List-Idea: yes\nPrecedenceX: bulk", "a@x.org", ""},
    {"a List header in the body", "Subject: hi\n\nList-Id: <x>", "a@x.org", ""},
    {"nobody@", "", "nobody@x.org", ""},
    {"list@", "", "list@x.org", ""},
    {"owner without the dash", "", "owner@x.org", ""},
    {"request inside the name", "", "requests-team@x.org", ""},
    {"daemon name in the domain only", "", "alice@mailer-daemon.x.org", ""},
};

TEST(AutomaticMailRuleTest, JudgesByHeadersAndSender) {
    for (const auto& row : kRuleCases) {
        SCOPED_TRACE(row.label);
        const auto verdict = JudgeAutomaticMail(ParseHeaderFields(row.headers), row.sender);
        EXPECT_EQ(verdict.automatic, !row.reason.empty());
        EXPECT_NE(verdict.reason.find(row.reason), std::string::npos) << verdict.reason;
        if (row.reason.empty()) {
            EXPECT_EQ(verdict.reason, "");
        }
    }
}

TEST(AutomaticMailRuleTest, TheLoggedReasonIsOnePrintableShortLine) {
    const auto verdict =
        JudgeAutomaticMail(ParseHeaderFields("Auto-Submitted: auto-replied\x01\x7f" +
                                             std::string(200, 'x') + "\xc3\xa9"),
                           "a@x.org");
    ASSERT_TRUE(verdict.automatic);
    EXPECT_LE(verdict.reason.size(), 80u);
    for (const char c : verdict.reason) {
        EXPECT_TRUE(c >= 0x20 && c < 0x7f) << static_cast<int>(c);
    }
}

struct IdCase {
    const char* label;
    std::string value;
    std::string id;
};

const IdCase kIdCases[] = {
    {"a plain id", "<a.b@x.org>", "<a.b@x.org>"},
    {"blanks and a comment around it", "  <a@x.org> (sent by hand)", "<a@x.org>"},
    {"a header smuggled after it", "<a@x.org> Bcc: all@x.org", "<a@x.org>"},
    {"a blank inside", "<a b@x.org>", ""},
    {"a control character inside", "<a\x01@x.org>", ""},
    {"a line break inside", "<a\r\nBcc: all@x.org>", ""},
    {"an 8-bit byte inside", "<caf\xc3\xa9@x.org>", ""},
    {"no brackets", "a@x.org", ""},
    {"no closing bracket", "<a@x.org", ""},
    {"empty brackets", "<>", ""},
    {"longer than 250 bytes", "<" + std::string(250, 'a') + ">", ""},
};

TEST(MessageIdTest, OnlyAWellFormedIdOfTheHeldLetterIsAnswered) {
    for (const auto& row : kIdCases) {
        SCOPED_TRACE(row.label);
        EXPECT_EQ(CleanMessageId(row.value), row.id);
    }
}

TEST(MessageIdTest, NewIdsAreUniqueAndNameTheAccountsDomain) {
    const std::string first = MakeMessageId("me@Mail.Example.org");
    EXPECT_EQ(CleanMessageId(first), first);
    EXPECT_EQ(first.substr(first.size() - 18), "@Mail.Example.org>");
    EXPECT_NE(MakeMessageId("me@Mail.Example.org"), first);
    const std::string odd = MakeMessageId("me@\r\n<evil> x");
    EXPECT_EQ(CleanMessageId(odd), odd);
    EXPECT_EQ(odd.substr(odd.size() - 7), "@evilx>");
    const std::string none = MakeMessageId("no address");
    EXPECT_EQ(none.substr(none.size() - 15), "@moxel.invalid>");
}

}  // namespace
