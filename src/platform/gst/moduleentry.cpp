// SPDX-License-Identifier: GPL-3.0-or-later
// The entry of libquaverly-media.so, the module the program loads at its first file.
#include "platform/gst/gstmediaengine.h"
#include "platform/gst/gsttagreader.h"
#include "platform/gst/mediaframework.h"
#include "platform/gst/mediamodule.h"

namespace {
class FrameworkStart : public IMediaStart {
public:
    explicit FrameworkStart(const QString& sink) : m_start(sink) {}
    void whenDone(QObject* context, std::function<void()> then) override {
        m_start.whenDone(context, std::move(then));
    }

private:
    MediaFrameworkStart m_start;
};

const MediaModuleApi kApi{
    kMediaModuleVersion,
    [](const QString& sink) -> std::unique_ptr<IMediaStart> {
        return std::make_unique<FrameworkStart>(sink);
    },
    [](const QString& sink) {
        expectMediaOutput(sink);
        return makeGstMediaEngine(sink);
    },
    [](IMediaEngine& engine) { prepareGstMediaEngine(engine); },
    [](const QString& coverFolder) -> std::unique_ptr<ITagReader> {
        return std::make_unique<GstTagReader>(coverFolder);
    },
    [](ITagReader& reader) {
        if (auto* gst = dynamic_cast<GstTagReader*>(&reader)) gst->close();
    },
};
}  // namespace

extern "C" __attribute__((visibility("default"))) const MediaModuleApi* quaverlyMediaModule() {
    return &kApi;
}
