#pragma once

#include <QByteArray>
#include <QStringList>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "core/MoxelCore.h"
#include "core/ThreadData.h"
#include "database/AppPropertyCollection.h"
#include "database/Schema.h"
#include "postoffice/PopPostOffice.h"
#include "shell/wizard/DialogServices.h"
#include "support/TestDataDir.h"

// What the dialog tests of the shell share, header-only: an asker that records and answers from
// a script, and a bench with its own data folder, config folder (the settings store), home and
// Thunderbird folder, a database on the test thread, a post office and the core.
namespace moxeltest::shell {

struct Told {
    Asker::Kind kind;
    QString title;
    QString text;
};

// Records every message and question; answers questions from `answers` (No when it runs out).
class ScriptedAsker : public Asker {
public:
    void Tell(QWidget*, Kind kind, const QString& title, const QString& text,
              const std::function<void()>& onHelp) override {
        told.push_back({kind, title, text});
        if (onHelp) {
            offeredHelp.push_back(text);
        }
    }
    bool AskYesNo(QWidget*, const QString&, const QString& question) override {
        questions << question;
        if (answers.empty()) {
            return false;
        }
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
    QStringList Texts() const {
        QStringList texts;
        for (const auto& t : told) {
            texts << t.text;
        }
        return texts;
    }

    std::vector<Told> told;
    QStringList offeredHelp;
    QStringList questions;
    std::deque<bool> answers;
};

// Sets an environment variable for the bench's lifetime.
class ScopedEnv {
public:
    ScopedEnv(const char* nameIn, const std::string& value)
        : name(nameIn), hadOld(qEnvironmentVariableIsSet(nameIn)), old(qgetenv(nameIn)) {
        qputenv(name, QByteArray::fromStdString(value));
    }
    ~ScopedEnv() {
        if (hadOld) {
            qputenv(name, old);
        } else {
            qunsetenv(name);
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name;
    bool hadOld;
    QByteArray old;
};

class Bench {
public:
    Bench()
        : home("HOME", homeDir.Path().string()),
          xdg("XDG_CONFIG_HOME", (homeDir.Path() / ".config").string()),
          config("MOXEL_CONFIG_DIR", configDir.Path().string()),
          thunderbird("MOXEL_THUNDERBIRD_DIR", thunderbirdDir.Path().string()) {
        InitializeThreadData();
        DatabaseLayer::CreateAllTables();
        DatabaseLayer::LoadAppProperties();
        office = std::make_unique<PopPostOffice>();
        core = std::make_unique<MoxelCore>(*office);
        services = DialogServices::Default();
        services.asker = asker;
        services.openHelp = [this](const QString& topic) { helpTopics << topic; };
        services.isComputerOnline = [] { return true; };
    }
    ~Bench() {
        core.reset();
        office.reset();
        ReleaseThreadData();
    }
    Bench(const Bench&) = delete;
    Bench& operator=(const Bench&) = delete;

    ScopedDataDir dataDir;
    TempDir homeDir;
    TempDir configDir;
    TempDir thunderbirdDir;
    ScopedEnv home;
    ScopedEnv xdg;
    ScopedEnv config;
    ScopedEnv thunderbird;
    std::unique_ptr<PopPostOffice> office;
    std::unique_ptr<MoxelCore> core;
    std::shared_ptr<ScriptedAsker> asker = std::make_shared<ScriptedAsker>();
    QStringList helpTopics;
    DialogServices services;
};

}  // namespace moxeltest::shell
