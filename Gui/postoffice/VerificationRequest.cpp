#include "postoffice/VerificationRequest.h"

#include <cstddef>

#include "database/AppPropertyCollection.h"
#include "database/LetterBoxData.h"
#include "database/LetterData.h"
#include "database/MessageText.h"
#include "database/Transaction.h"
#include "postoffice/MessageIds.h"
#include "postoffice/UserTemplate.h"
#include "postoffice/VerificationCode.h"

namespace {

constexpr std::size_t kLongestSubject = 30;
constexpr std::size_t kShortenedSubject = 27;

bool IsContinuationByte(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// The length in bytes of the character at `pos`: a whole UTF-8 sequence, or one byte when
// none starts there.
std::size_t CharacterLength(const std::string& text, std::size_t pos) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    std::size_t length = 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
    }
    if (pos + length > text.size()) {
        return 1;
    }
    for (std::size_t i = pos + 1; i < pos + length; ++i) {
        if (!IsContinuationByte(static_cast<unsigned char>(text[i]))) {
            return 1;
        }
    }
    return length;
}

}  // namespace

std::string ShortenSubject(const std::string& text) {
    std::size_t characters = 0;
    std::size_t cut = 0;
    for (std::size_t pos = 0; pos < text.size(); pos += CharacterLength(text, pos)) {
        if (characters == kShortenedSubject) {
            cut = pos;
        }
        if (++characters > kLongestSubject) {
            return text.substr(0, cut) + "...";
        }
    }
    return text;
}

VerificationRequest::VerificationRequest(const std::string& recipientAddress,
                                         const std::string& letterBoxAddress,
                                         const std::string& originalSubject,
                                         const std::string& verificationCode,
                                         const std::string& originalMessageId) {
    DatabaseLayer::Transaction transaction;
    data.SetRecipientAddress(recipientAddress);
    data.SetLetterBoxAddress(letterBoxAddress);
    data.SetOriginalSubject(originalSubject);
    data.SetOriginalMessageId(CleanMessageId(originalMessageId));
    data.SetVerificationCode(verificationCode.empty() ? MakeVerificationCode() : verificationCode);
}

VerificationRequest::VerificationRequest(std::int64_t id) : data(id) {}

void VerificationRequest::ComposeLetter(LetterBox& outgoingLetterBox) const {
    auto& settings = GetAppProperties();
    const std::string recipient = data.GetRecipientAddress();
    const std::string account = data.GetLetterBoxAddress();
    const std::string subject =
        FillUserTemplate(settings.GetVerificationRequestSubject(),
                         {ShortenSubject(data.GetOriginalSubject()), data.GetVerificationCode()});
    const std::string body =
        FillUserTemplate(settings.GetVerificationRequestBody(), {recipient, account});
    HeaderMap answering = {{"Auto-Submitted", "auto-replied"},
                           {"Message-ID", MakeMessageId(account)}};
    // Checked again: the row may come from an older program or an edited database.
    if (const std::string original = CleanMessageId(data.GetOriginalMessageId());
        !original.empty()) {
        answering["In-Reply-To"] = original;
        answering["References"] = original;
    }
    Letter letter;
    letter.StoreText(
        ComposeLetterText(account, recipient, subject, body, std::string(), answering));
    outgoingLetterBox.MoveLetterHere(letter);
}
