#include "database/Schema.h"

#include "database/ObjectDataCollectionTable.h"
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
}

}  // namespace DatabaseLayer
