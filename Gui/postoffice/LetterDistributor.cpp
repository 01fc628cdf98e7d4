#include "postoffice/LetterDistributor.h"

#include "core/Exception.h"

LetterDistributor::~LetterDistributor() = default;

DatabaseLayer::LetterDistributorData& LetterDistributor::GetData() {
    throw Exception("Not supported.");
}
