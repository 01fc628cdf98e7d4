#include "database/LetterPrunerData.h"

#include <memory>

#include "database/LetterBoxData.h"
#include "database/StoredTime.h"

namespace DatabaseLayer {

LetterPrunerData::LetterPrunerData() : letterBox(std::make_shared<LetterBox>()) {
    SetInt64Field("letterBoxId", letterBox->GetId());
}

LetterPrunerData::LetterPrunerData(std::int64_t existingId)
    : ObjectData(existingId),
      letterBox(std::make_shared<LetterBox>(GetInt64Field("letterBoxId"))) {}

void LetterPrunerData::SetPersistent(bool value) {
    ObjectData::SetPersistent(value);
    letterBox->SetPersistent(value);
}

std::optional<boost::posix_time::ptime> LetterPrunerData::GetLastPruneTime() const {
    const std::string text = GetStringField("lastPruneTime");
    if (text.empty()) {
        return std::nullopt;
    }
    return TimeFromCalendarText(text);
}

void LetterPrunerData::SetLastPruneTime(const boost::posix_time::ptime& time) {
    SetStringField("lastPruneTime", CalendarTextFromTime(time));
}

}  // namespace DatabaseLayer
