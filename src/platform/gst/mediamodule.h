// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <memory>

#include <QString>

#include "playback/imediaengine.h"
#include "playback/itagreader.h"

class QObject;

// What plays lives in a module of its own beside the program (libquaverly-media.so),
// loaded at the first file, tag read or framework start: until then neither the media
// framework nor its libraries take memory in a program whose list is only looked at.
// Everything here is for the UI thread.

// A start of the media framework on a thread of its own (see MediaFrameworkStart).
class IMediaStart {
public:
    virtual ~IMediaStart() = default;
    virtual void whenDone(QObject* context, std::function<void()> then) = 0;
};

// What the module offers; its entry point, quaverlyMediaModule, returns it.
struct MediaModuleApi {
    int version;
    std::unique_ptr<IMediaStart> (*startFramework)(const QString& sinkDescription);
    std::unique_ptr<IMediaEngine> (*makeEngine)(const QString& sinkDescription);
    void (*prepareEngine)(IMediaEngine& engine);
    std::unique_ptr<ITagReader> (*makeTagReader)(const QString& coverFolder);
    void (*closeTagReader)(ITagReader& reader);
};
inline constexpr int kMediaModuleVersion = 1;
inline constexpr char kMediaModuleEntry[] = "quaverlyMediaModule";

// Loads the module once; null, with the reason in `error`, when it cannot be loaded.
const MediaModuleApi* mediaModule(QString* error = nullptr);

// Whether the framework will scan its plug-ins when it starts: it has no registry of them
// yet, or a folder of plug-ins changed after the registry was written (a new user, an
// update of one of them). Read off the files' times, without loading the framework; a
// wrong guess costs only time or memory, never a file.
bool mediaPlugInsChangedSinceScan();

// The framework's start with the program, when it will scan its plug-ins (which takes
// most of a second); null otherwise, or when the module cannot be loaded.
std::unique_ptr<IMediaStart> startMediaFrameworkIfScanning(const QString& sinkDescription);

// The program's engine and tag reader: they load the module at their first file, and
// until then keep what they are told (volume, balance, rate) as the engine would.
using MediaModuleLoader = const MediaModuleApi* (*)(QString* error);
std::unique_ptr<IMediaEngine> makeModuleEngine(const QString& sinkDescription,
                                               MediaModuleLoader load = &mediaModule);
void prepareModuleEngine(IMediaEngine& engine);

class ModuleTagReader : public ITagReader {
public:
    explicit ModuleTagReader(QString coverFolder) : m_coverFolder(std::move(coverFolder)) {}
    void read(const QString& path, std::function<void(const TrackTags&)> done) override;
    // Ends for good (no read goes on, every cover is removed); for an end without destructors.
    void close();

private:
    QString m_coverFolder;
    std::unique_ptr<ITagReader> m_real;
    bool m_closed = false;
};

// The sound libraries under the framework print their own errors on standard error when
// no device can be opened, where the engine says so once in its own words. Call in
// main() before any thread runs: it sets their environment.
void quietSoundLibraries();
