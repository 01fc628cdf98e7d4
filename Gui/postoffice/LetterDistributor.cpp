#include "postoffice/LetterDistributor.h"

#include "core/Exception.h"

LetterDistributor::~LetterDistributor() = default;

void LetterDistributor::HandOverWaitingLetters(LetterBox& /*letterBox*/) {}

std::vector<std::string> LetterDistributor::TakeWarnings() {
    return {};
}

DatabaseLayer::LetterDistributorData& LetterDistributor::GetData() {
    throw Exception("Not supported.");
}
