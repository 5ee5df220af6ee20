// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdio>
#include <deque>
#include <functional>
#include <utility>
#include <vector>

#include <QString>

#include "core/imessageboxes.h"

// Records every box instead of showing it. Questions are answered from a queue, then
// from a default. A callback can run while a box is "open", so a test can act at the
// moment the real program would sit in the box's event loop.
class FakeMessageBoxes : public IMessageBoxes {
public:
    enum class Kind { Information, Question, Error };
    struct Box {
        Kind kind;
        QString title;
        QString text;
    };

    void information(const QString& title, const QString& text) override {
        open(Kind::Information, title, text);
    }
    bool question(const QString& title, const QString& text) override {
        const bool answer = takeAnswer();
        open(Kind::Question, title, text);
        return answer;
    }
    void error(const QString& title, const QString& text) override {
        open(Kind::Error, title, text);
    }

    // The next questions are answered with these, in order.
    void queueAnswer(bool yes) { m_answers.push_back(yes); }
    // The answer once the queue is empty (No until set).
    void setDefaultAnswer(bool yes) { m_defaultAnswer = yes; }
    // Also says each error box on standard error (for the benchmarks, which show none).
    bool printErrors = false;
    // Runs `f` with each box when it opens, before the call returns.
    void setOnOpen(std::function<void(const Box&)> f) { m_onOpen = std::move(f); }

    const std::vector<Box>& boxes() const { return m_boxes; }
    int count() const { return static_cast<int>(m_boxes.size()); }
    int count(Kind kind) const {
        int n = 0;
        for (const Box& b : m_boxes) n += b.kind == kind ? 1 : 0;
        return n;
    }
    // The last box; only valid when count() > 0.
    const Box& last() const { return m_boxes.back(); }
    // Nesting depth right now: greater than 0 while a callback runs inside a box.
    int openNow() const { return m_open; }
    void clear() { m_boxes.clear(); }

private:
    bool takeAnswer() {
        if (m_answers.empty()) return m_defaultAnswer;
        const bool answer = m_answers.front();
        m_answers.pop_front();
        return answer;
    }
    void open(Kind kind, const QString& title, const QString& text) {
        m_boxes.push_back(Box{kind, title, text});
        if (printErrors && kind == Kind::Error)
            std::fprintf(stderr, "%s: %s\n", qPrintable(title), qPrintable(text));
        if (!m_onOpen) return;
        const Box box = m_boxes.back();  // the callback may open more boxes
        ++m_open;
        m_onOpen(box);
        --m_open;
    }

    std::vector<Box> m_boxes;
    std::deque<bool> m_answers;
    bool m_defaultAnswer = false;
    std::function<void(const Box&)> m_onOpen;
    int m_open = 0;
};
