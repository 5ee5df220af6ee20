// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <exception>
#include <functional>
#include <utility>

#include <QString>

#include "core/failure.h"
#include "core/imessageboxes.h"

// The location text of one of the main window's procedures, e.g. "Form_Load".
QString formLocation(const char* procedure);

// Builds the text of the error box for a failure at `step` of the procedure at `location`.
QString errorBoxText(const QString& description, const QString& location, int step);

// Runs the numbered steps of one procedure. A step that fails shows the error box
// through `boxes` and the procedure goes on with its next step. UI thread only.
class StepRunner {
public:
    StepRunner(IMessageBoxes& boxes, QString location)
        : m_boxes(boxes), m_location(std::move(location)) {}

    // From the moment `stop` answers true, no further step runs: each is skipped as
    // if it had failed, without a box.
    void stopWhen(std::function<bool()> stop) { m_stop = std::move(stop); }

    // Runs `f` as step `n`; false when it failed (the box has been shown and closed).
    template <class F>
    bool step(int n, F&& f) {
        if (m_stop && m_stop()) return false;
        try {
            std::forward<F>(f)();
            return true;
        } catch (const std::exception& e) {
            fail(n, describe(e));
        } catch (...) {
            fail(n, QStringLiteral("Unknown error"));
        }
        return false;
    }

    // Runs the test of a condition as step `n`. A test that fails counts as true,
    // so the steps it guards run.
    template <class F>
    bool test(int n, F&& f) {
        bool result = true;
        if (!step(n, [&] { result = std::forward<F>(f)(); }) && m_stop && m_stop()) return false;
        return result;
    }

    // Runs step `n` and gives its value, or `fallback` when the step failed.
    template <class T, class F>
    T value(int n, T fallback, F&& f) {
        step(n, [&] { fallback = std::forward<F>(f)(); });
        return fallback;
    }

    const QString& location() const { return m_location; }

private:
    static QString describe(const std::exception& e);
    void fail(int n, const QString& description);

    IMessageBoxes& m_boxes;
    QString m_location;
    std::function<bool()> m_stop;
};
