// The approved senders dialog against a real database in a private data folder: edits are
// refused with the right texts, nothing is stored before OK, and OK stores every edit in order.
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <memory>

#include "core/MoxelCore.h"
#include "core/ThreadData.h"
#include "database/AppPropertyCollection.h"
#include "database/Schema.h"
#include "database/SenderList.h"
#include "database/ThreadDatabase.h"
#include "postoffice/PopPostOffice.h"
#include "shell/dialogs/senders/ApprovedSendersDialog.h"
#include "shell/dialogs/senders/SenderListEdit.h"
#include "support/TestDataDir.h"

namespace {

const std::string kSeed = "seed@example.com";

// One click of the dialog: Add or Remove with `text` in the field, and the refusal it shows
// (empty: accepted).
struct Step {
    bool add;
    QString text;
    QString refusal;
};

enum class Close { Ok, Cancel };

}  // namespace

Q_DECLARE_METATYPE(Step)
Q_DECLARE_METATYPE(QList<Step>)
Q_DECLARE_METATYPE(Close)

class ApprovedSendersTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        dataDir = std::make_unique<moxeltest::ScopedDataDir>();
        threadData = std::make_unique<ThreadDataScope>();
        DatabaseLayer::CreateAllTables();
        DatabaseLayer::LoadAppProperties();
        postOffice = std::make_unique<PopPostOffice>();
        postOffice->SetPersistent(true);
        core = std::make_unique<MoxelCore>(*postOffice);
        StoredList().Add(kSeed);
    }

    void cleanup() {
        core.reset();
        postOffice.reset();
        threadData.reset();
        dataDir.reset();
    }

    void edits_data() {
        QTest::addColumn<QList<Step>>("steps");
        QTest::addColumn<QString>("meanwhile");
        QTest::addColumn<Close>("close");
        QTest::addColumn<QStringList>("stored");
        const QString empty = SenderListEdit::kEmpty;
        const QString exists = SenderListEdit::kExists;
        const QString absent = SenderListEdit::kAbsent;
        const QString seed = QString::fromStdString(kSeed);

        QTest::newRow("blanks, tabs, CR and LF trimmed")
            << QList<Step>{{true, " \t new@example.com\r\n", ""}} << "" << Close::Ok
            << QStringList{seed, "new@example.com"};
        QTest::newRow("same address refused, also with blanks")
            << QList<Step>{{true, "a@example.com", ""},
                           {true, " a@example.com ", exists},
                           {true, seed, exists}}
            << "" << Close::Ok << QStringList{seed, "a@example.com"};
        QTest::newRow("empty and blank-only refused")
            << QList<Step>{{true, "", empty}, {true, " \t\r\n", empty}} << "" << Close::Ok
            << QStringList{seed};
        QTest::newRow("remove of absent refused")
            << QList<Step>{{false, "nobody@example.com", absent},
                           {true, "x@example.com", ""},
                           {false, "x@example.com", ""},
                           {false, "x@example.com", absent}}
            << "" << Close::Ok << QStringList{seed};
        QTest::newRow("Cancel stores nothing")
            << QList<Step>{{true, "x@example.com", ""}, {false, seed, ""}} << "" << Close::Cancel
            << QStringList{seed};
        QTest::newRow("OK applies all in order")
            << QList<Step>{{true, "a@example.com", ""},
                           {false, "a@example.com", ""},
                           {true, "example.org", ""},
                           {false, " " + seed, ""},
                           {true, "b@example.com", ""}}
            << "" << Close::Ok << QStringList{"example.org", "b@example.com"};
        QTest::newRow("an entry approved meanwhile is kept")
            << QList<Step>{{true, "a@example.com", ""}} << "replied@example.net" << Close::Ok
            << QStringList{seed, "replied@example.net", "a@example.com"};
    }

    void edits() {
        QFETCH(QList<Step>, steps);
        QFETCH(QString, meanwhile);
        QFETCH(Close, close);
        QFETCH(QStringList, stored);

        ApprovedSendersDialog dialog(*core);
        dialog.show();
        auto* field = dialog.findChild<QLineEdit*>("entry");
        auto* refusal = dialog.findChild<QLabel*>("refusal");
        auto* list = dialog.findChild<QListWidget*>("senders");
        QVERIFY(field && refusal && list);
        QCOMPARE(Texts(*list), QStringList{QString::fromStdString(kSeed)});

        for (const auto& step : steps) {
            const QStringList before = Texts(*list);
            field->setText(step.text);
            dialog.findChild<QPushButton*>(step.add ? "add" : "remove")->click();
            QCOMPARE(refusal->text(), step.refusal);
            if (!step.refusal.isEmpty()) {
                QCOMPARE(Texts(*list), before);
            }
        }
        if (!meanwhile.isEmpty()) {
            StoredList().Add(meanwhile.toStdString());
        }
        // Nothing reaches the database before OK.
        QStringList untouched{QString::fromStdString(kSeed)};
        if (!meanwhile.isEmpty()) {
            untouched << meanwhile;
        }
        QCOMPARE(StoredEntries(), untouched);

        auto* buttons = dialog.findChild<QDialogButtonBox*>();
        buttons->button(close == Close::Ok ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel)
            ->click();
        QCOMPARE(dialog.result(),
                 close == Close::Ok ? int(QDialog::Accepted) : int(QDialog::Rejected));
        QCOMPARE(StoredEntries(), stored);
    }

    // OK stores all edits in one transaction: when one fails, none is stored, the user is told,
    // and the dialog stays open with the edits.
    void failedStoreKeepsNothing() {
        for (const char* event : {"INSERT", "UPDATE"}) {
            DatabaseLayer::GetThreadDatabase().ExecuteStatement(
                std::string("CREATE TRIGGER Refuse") + event + " BEFORE " + event +
                " ON String WHEN NEW.string = 'broken.example' BEGIN SELECT RAISE(ABORT, "
                "'refused by test'); END;");
        }
        ApprovedSendersDialog dialog(*core);
        dialog.show();
        auto* field = dialog.findChild<QLineEdit*>("entry");
        for (const char* entry : {"first@example.com", "broken.example"}) {
            field->setText(entry);
            dialog.findChild<QPushButton*>("add")->click();
        }
        field->setText(QString::fromStdString(kSeed));
        dialog.findChild<QPushButton*>("remove")->click();

        QString told;
        QTimer::singleShot(0, [&told] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box) {
                told = box->text();
                box->accept();
            }
        });
        dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        QVERIFY2(told.contains("refused by test"), qPrintable(told));
        QVERIFY(dialog.isVisible());
        QCOMPARE(StoredEntries(), QStringList{QString::fromStdString(kSeed)});
        QCOMPARE(Texts(*dialog.findChild<QListWidget*>("senders")),
                 (QStringList{"first@example.com", "broken.example"}));
    }

private:
    SenderList StoredList() { return SenderList(postOffice->GetApprovedSenders().GetId()); }

    QStringList StoredEntries() {
        QStringList entries;
        for (const auto& entry : StoredList().GetEntries()) {
            entries << QString::fromStdString(entry);
        }
        return entries;
    }

    static QStringList Texts(const QListWidget& list) {
        QStringList texts;
        for (int i = 0; i < list.count(); ++i) {
            texts << list.item(i)->text();
        }
        return texts;
    }

    std::unique_ptr<moxeltest::ScopedDataDir> dataDir;
    std::unique_ptr<ThreadDataScope> threadData;
    std::unique_ptr<PopPostOffice> postOffice;
    std::unique_ptr<MoxelCore> core;
};

QTEST_MAIN(ApprovedSendersTest)
#include "approved_senders_qtest.moc"
