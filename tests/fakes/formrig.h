// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

#include <QTemporaryDir>
#include <QTreeView>

#include "app/form1.h"
#include "fakes/fakefilesystem.h"
#include "fakes/fakemediaengine.h"
#include "fakes/fakemessageboxes.h"
#include "fakes/fakesettingsstore.h"
#include "fakes/fakeshell.h"
#include "playlist/listeditor.h"
#include "playlist/playlist.h"
#include "tray/trayhiding.h"

// A main window on fakes: no pump, no tray, nothing ends the test process.
struct FormRig {
    FakeSettingsStore store;
    FakeMessageBoxes boxes;
    FakeFileSystem fs;
    FakeShell shell;
    FakeMediaEngine engine;
    int ended = 0;
    QString programFolder = QStringLiteral("/opt/quaverly");
    std::unique_ptr<Form1> form;

    // The fakes as the window's services; `adjust` swaps in other parts.
    Form1::Services services() {
        Form1::Services s;
        s.store = &store;
        s.boxes = &boxes;
        s.fs = &fs;
        s.shell = &shell;
        s.engine = &engine;
        s.endProgram = [this] { ++ended; };
        s.runPump = false;
        return s;
    }
    void make(const std::function<void(Form1::Services&)>& adjust = {}) {
        form = std::make_unique<Form1>(programFolder);
        Form1::Services s = services();
        if (adjust) adjust(s);
        form->setServices(s);
    }
    // A window after its load step, with `entries` in the list.
    void load(const QStringList& entries = {}) {
        QString files;
        for (const QString& e : entries) files += e + QStringLiteral("||MySeparator12||");
        if (!entries.isEmpty()) store.set(QStringLiteral("Files"), files);
        make();
        form->Form_Load();
    }
    Playlist& list() { return form->playlist(); }
    QStringList texts() { return list().Texts(); }
    // Files that exist as ordinary files for the fake file system.
    void addFiles(const QStringList& paths) {
        for (const QString& p : paths) fs.addFile(p);
    }
    QStringList errorTexts() const {
        QStringList out;
        for (const auto& b : boxes.boxes())
            if (b.kind == FakeMessageBoxes::Kind::Error) out << b.text;
        return out;
    }
    QStringList messages() const {
        QStringList out;
        for (const auto& b : boxes.boxes())
            if (b.kind == FakeMessageBoxes::Kind::Information) out << b.text;
        return out;
    }
};
