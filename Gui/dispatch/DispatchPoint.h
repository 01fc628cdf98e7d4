#pragma once

#include <memory>

#include "core/Clock.h"
#include "core/EventReporter.h"
#include "database/LetterTypes.h"
#include "dispatch/DispatchPointData.h"
#include "postoffice/MailDeliveryPointsData.h"

// The outgoing side of the post office: it owns the box of letters to dispatch, into which the
// trusted sender list and the settings test put finished letters, and a dispatch run sends the
// letters whose turn has come. Built from its row through the DispatchPoint type registry.
// Every operation may throw Exception.
class DispatchPoint {
public:
    virtual ~DispatchPoint();
    // The letters to dispatch. Whoever adds letters holds the box open for the change.
    virtual LetterBox& GetLetterBox() = 0;
    // One dispatch run on the calling thread: every due letter is sent, or delivered to the
    // inbox of the protected account in `deliveryPoints` it is addressed to. Events go to
    // `reporter` on the calling thread. A failure that ends the run early passes to the caller.
    virtual void DispatchLetters(const Clock& clock,
                                 DatabaseLayer::MailDeliveryPointsData& deliveryPoints,
                                 EventReporter& reporter) = 0;
    // The dispatch point's row. The base has none and throws Exception "Not implemented".
    virtual DatabaseLayer::DispatchPointData& GetData();
};

using DispatchPointPtr = std::shared_ptr<DispatchPoint>;
