#pragma once

#include <QDialog>

// The about box: product name, version and build number, what Moxel does, and the copyright.
// GUI thread only.
class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent = nullptr);

    // "Version 1.0.185 (build 185)", with the edition after it when the build has one.
    static QString VersionLine();
};
