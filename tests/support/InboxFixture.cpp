#include "support/InboxFixture.h"

#include "database/LetterBoxData.h"
#include "database/LetterBoxLock.h"

namespace moxeltest {

void InboxTest::SetUp() {
    DatabaseTest::SetUp();
    office = std::make_unique<PopPostOffice>();
    office->SetPersistent(true);
}

void InboxTest::TearDown() {
    office.reset();
    DatabaseTest::TearDown();
}

void InboxTest::FillInbox(const std::vector<std::string>& texts) {
    office->MailProgramLoggedIn(kKey.ToString(), "secret");
    const LetterBoxPtr inbox = office->GetInbox(kKey);
    LetterBoxLock open(inbox);
    for (const auto& text : texts) {
        Letter letter;
        letter.StoreText(text);
        inbox->MoveLetterHere(letter);
    }
}

std::vector<std::string> InboxTest::InboxTexts() {
    const LetterBoxPtr inbox = office->GetInbox(kKey);
    LetterBoxLock open(inbox);
    std::vector<std::string> texts;
    for (const auto id : inbox->GetLetterIds()) {
        texts.push_back(inbox->GetLetter(id)->GetText());
    }
    return texts;
}

}  // namespace moxeltest
