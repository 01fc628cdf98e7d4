#pragma once

#include <string>
#include <vector>

namespace moxeltest {

// The nineteen tables of a Moxel database, in the order start-up creates them.
inline const std::vector<std::string>& ExpectedTables() {
    static const std::vector<std::string> tables = {"Letter",
                                                    "LetterCollection",
                                                    "DispatchPoint",
                                                    "PopClient",
                                                    "String",
                                                    "StringCollection",
                                                    "SenderList",
                                                    "TrustedSenderList",
                                                    "AddressPendingVerification",
                                                    "AddressPendingVerificationCollection",
                                                    "VerificationRequest",
                                                    "VerificationRequestCollection",
                                                    "LetterDistributor",
                                                    "LetterPruner",
                                                    "MailDeliveryPoint",
                                                    "MailDeliveryPointCollection",
                                                    "PostOffice",
                                                    "AppProperty",
                                                    "AppPropertyCollection"};
    return tables;
}

}  // namespace moxeltest
