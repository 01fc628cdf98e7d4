#include "database/Schema.h"

#include "database/ObjectDataCollectionTable.h"
#include "database/ThreadDatabase.h"
#include "database/tables/AddressPendingVerificationDataTable.h"
#include "database/tables/AppPropertyTable.h"
#include "database/tables/DispatchPointDataTable.h"
#include "database/tables/LetterBoxDataTable.h"
#include "database/tables/LetterDataTable.h"
#include "database/tables/LetterDistributorDataTable.h"
#include "database/tables/LetterPrunerDataTable.h"
#include "database/tables/MailDeliveryPointDataTable.h"
#include "database/tables/PersistentStringTable.h"
#include "database/tables/PopClientDataTable.h"
#include "database/tables/PostOfficeDataTable.h"
#include "database/tables/SenderListDataTable.h"
#include "database/tables/TrustedSenderListDataTable.h"
#include "database/tables/VerificationRequestDataTable.h"

namespace DatabaseLayer {

namespace {

// Every list the program reads is "the rows of one collection", often narrowed by one text
// (a downloaded id, an approved address, a setting's name). Without these indexes each of those
// lookups reads the whole table, and a collection run slows down as mail accumulates. The texts
// are indexed on their own so that listing a collection still returns its rows in the order
// they were added. Indexes change no table, so existing databases simply gain them.
void CreateIndexes() {
    ExecuteStatement(
        "CREATE INDEX IF NOT EXISTS LetterByCollection ON Letter (collectionId);"
        "CREATE INDEX IF NOT EXISTS StringByText ON String (string);"
        "CREATE INDEX IF NOT EXISTS AddressPendingVerificationByAddress "
        "ON AddressPendingVerification (address);"
        "CREATE INDEX IF NOT EXISTS AddressPendingVerificationByCode "
        "ON AddressPendingVerification (verificationCode);"
        "CREATE INDEX IF NOT EXISTS VerificationRequestByRecipient "
        "ON VerificationRequest (recipientAddress);"
        "CREATE INDEX IF NOT EXISTS AppPropertyByName ON AppProperty (name);");
}

// Columns added after the first release: a database made before gains them with their default.
void AddLaterColumns() {
    if (ExecuteScalar("SELECT COUNT (*) FROM pragma_table_info('VerificationRequest') "
                      "WHERE name = 'originalMessageId';") == 0) {
        ExecuteStatement(
            "ALTER TABLE VerificationRequest ADD COLUMN originalMessageId TEXT DEFAULT '';");
    }
}

}  // namespace

void CreateAllTables() {
    LetterDataTable().CreateTable();
    LetterBoxDataTable().CreateTable();
    DispatchPointDataTable().CreateTable();
    PopClientDataTable().CreateTable();
    PersistentStringTable().CreateTable();
    ObjectDataCollectionTable<PersistentStringTable>().CreateTable();
    SenderListDataTable().CreateTable();
    TrustedSenderListDataTable().CreateTable();
    AddressPendingVerificationDataTable().CreateTable();
    ObjectDataCollectionTable<AddressPendingVerificationDataTable>().CreateTable();
    VerificationRequestDataTable().CreateTable();
    ObjectDataCollectionTable<VerificationRequestDataTable>().CreateTable();
    LetterDistributorDataTable().CreateTable();
    LetterPrunerDataTable().CreateTable();
    MailDeliveryPointDataTable().CreateTable();
    ObjectDataCollectionTable<MailDeliveryPointDataTable>().CreateTable();
    PostOfficeDataTable().CreateTable();
    AppPropertyTable().CreateTable();
    ObjectDataCollectionTable<AppPropertyTable>().CreateTable();
    AddLaterColumns();
    CreateIndexes();
}

}  // namespace DatabaseLayer
