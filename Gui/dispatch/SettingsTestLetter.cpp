#include "dispatch/SettingsTestLetter.h"

#include <memory>

#include "database/AppPropertyCollection.h"
#include "database/HeaderMap.h"
#include "database/LetterData.h"
#include "database/MessageText.h"
#include "postoffice/VerificationCode.h"

namespace {

constexpr char kMarkerProperty[] = "SettingsTestMarker";

// The installation's marker; made at its first use.
std::string Marker() {
    auto& properties = GetAppProperties();
    std::string marker = properties.GetValue(kMarkerProperty);
    if (marker.empty()) {
        marker = CreateUniqueId();
        properties.SetValue(kMarkerProperty, marker);
    }
    return marker;
}

}  // namespace

LetterPtr MakeSettingsTestLetter(const std::string& sender, const std::string& recipient) {
    auto letter = std::make_shared<Letter>();
    letter->StoreText(
        std::string(kSettingsTestHeader) + ": " + Marker() + "\n" +
        ComposeLetterText(sender, recipient, kSettingsTestSubject, kSettingsTestBody, "<>"));
    return letter;
}

bool IsSettingsTestLetter(const Letter& letter) {
    const HeaderMap headers = ParseHeaders(letter.GetTop(0));
    const auto found = headers.find(kSettingsTestHeader);
    if (found == headers.end()) {
        return false;
    }
    const std::string stored = GetAppProperties().GetValue(kMarkerProperty);
    return !stored.empty() && found->second == stored;
}
