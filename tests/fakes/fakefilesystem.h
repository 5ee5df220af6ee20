// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QSet>

#include "core/failure.h"
#include "core/ifilesystem.h"

// An in-memory file system for tests. Paths are compared after collapsing runs of "/"
// and dropping a trailing "/", so "/a//b/" and "/a/b" name the same entry. Entries
// list in the order they were added. Tests can force listing errors and make any
// call on a path throw. Each folder has a version that every change of its entries
// or of its own attributes or search permission moves on; readFolder stamps it.
class FakeFileSystem : public IFileSystem {
public:
    FakeFileSystem() { m_nodes.insert(QStringLiteral("/"), Node{true, FileAttr::Directory, {}}); }

    // Adds a folder (and any missing parents) with the given attribute value.
    void addFolder(const QString& path, quint32 attributes = FileAttr::Directory) {
        add(path, Node{true, attributes, {}});
    }
    // Adds a file (and any missing parent folders) with the given attribute value.
    void addFile(const QString& path, quint32 attributes = FileAttr::Archive) {
        add(path, Node{false, attributes, {}});
    }
    void remove(const QString& path) {
        m_nodes.remove(key(path));
        touch(parentOf(key(path)));
    }
    // Whether names in the folder can be looked up: without it nothing below opens.
    void setSearchable(const QString& path, bool searchable) {
        m_nodes[key(path)].searchable = searchable;
        touch(key(path));
    }
    // Whether readFolder stamps folders settled (a later change would show).
    void setSettled(bool settled) { m_settled = settled; }
    // Listing `path` gives this error; names added so far are still returned when
    // `partial` is true.
    void setListError(const QString& path, ListError error, bool partial = false) {
        m_listErrors.insert(key(path), {error, partial});
    }
    // Every call that names `path` throws a Failure with `description`.
    void failOn(const QString& path, const QString& description = QStringLiteral("Disk gone")) {
        m_failures.insert(key(path), description);
    }
    int calls() const { return m_calls; }

    bool fileExists(const QString& path) const override { return node(path) != nullptr; }
    std::optional<quint32> attributes(const QString& path) const override {
        if (const Node* n = node(path)) return n->attributes;
        return std::nullopt;
    }
    bool canOpenFile(const QString& path) const override {
        const Node* n = node(path);
        const auto parent = m_nodes.find(parentOf(key(path)));
        return n && !n->isFolder && (parent == m_nodes.end() || parent->searchable);
    }
    DirListing entries(const QString& folder) const override { return list(folder, false); }
    DirListing readFolder(const QString& folder) const override {
        DirListing result = list(folder, false);
        const Node* n = node(folder);
        if (!n || !n->isFolder) return result;
        const QString base = key(folder) == QStringLiteral("/") ? QString() : key(folder);
        for (const QString& name : std::as_const(result.names))
            result.kinds.append(kindOf(name, m_nodes.value(base + u'/' + name)));
        result.stamp.inode = n->id;
        result.stamp.modified = result.stamp.changed = n->version;
        result.stamp.searchable = n->searchable;
        result.stamp.settled = m_settled;
        return result;
    }
    bool unchanged(const QString& folder, const FolderStamp& stamp) const override {
        const Node* n = node(folder);
        return n && n->isFolder && n->searchable && stamp.settled && stamp.inode == n->id &&
               stamp.modified == n->version;
    }

private:
    struct Node {
        bool isFolder = false;
        quint32 attributes = 0;
        QStringList children;
        bool searchable = true;
        quint64 id = 0;
        qint64 version = 0;
    };
    struct ListFailure {
        ListError error;
        bool partial;
    };

    static QString key(QString path) {
        while (path.contains(QStringLiteral("//")))
            path.replace(QStringLiteral("//"), QStringLiteral("/"));
        if (path.size() > 1 && path.endsWith(u'/')) path.chop(1);
        return path;
    }

    static QString parentOf(const QString& k) {
        const qsizetype slash = k.lastIndexOf(u'/');
        return slash <= 0 ? QStringLiteral("/") : k.left(slash);
    }

    // What a directory entry tells of a node. Only a name with a leading "." is
    // hidden on disk, so a node whose hidden bit disagrees with its name is Other.
    static EntryKind kindOf(const QString& name, const Node& n) {
        if (n.isFolder) return EntryKind::Folder;
        const quint32 kind = n.attributes & (FileAttr::Archive | FileAttr::ReparsePoint);
        const bool hidden = (n.attributes & FileAttr::Hidden) != 0;
        return kind == FileAttr::Archive && hidden == name.startsWith(u'.') ? EntryKind::File
                                                                            : EntryKind::Other;
    }

    void touch(const QString& k) {
        if (auto it = m_nodes.find(k); it != m_nodes.end()) it->version = ++m_clock;
    }

    void add(const QString& path, Node n) {
        const QString k = key(path);
        n.id = ++m_clock;
        n.version = m_clock;
        if (k == QStringLiteral("/")) {
            m_nodes["/"].attributes = n.attributes;
            touch(k);
            return;
        }
        const QString parent = parentOf(k);
        if (!m_nodes.contains(parent)) addFolder(parent);
        Node& p = m_nodes[parent];
        const QString name = k.mid(k.lastIndexOf(u'/') + 1);
        if (!p.children.contains(name)) p.children.append(name);
        touch(parent);
        if (auto it = m_nodes.find(k); it != m_nodes.end() && it->isFolder && n.isFolder) {
            n.children = it->children;
            n.id = it->id;
            n.searchable = it->searchable;
        }
        m_nodes.insert(k, std::move(n));
    }

    const Node* node(const QString& path) const {
        ++m_calls;
        const QString k = key(path);
        if (auto f = m_failures.find(k); f != m_failures.end()) throw Failure(*f);
        if (path.isEmpty()) return nullptr;
        auto it = m_nodes.find(k);
        return it == m_nodes.end() ? nullptr : &*it;
    }

    DirListing list(const QString& folder, bool foldersOnly) const {
        DirListing result;
        const Node* n = node(folder);
        if (!n || !n->isFolder) {
            result.error = ListError::PathNotFound;
            return result;
        }
        const auto failure = m_listErrors.find(key(folder));
        if (failure != m_listErrors.end()) {
            result.error = failure->error;
            if (!failure->partial) return result;
        }
        const QString base = key(folder) == QStringLiteral("/") ? QString() : key(folder);
        for (const QString& name : n->children) {
            const auto child = m_nodes.find(base + u'/' + name);
            if (child == m_nodes.end()) continue;
            if (!foldersOnly || child->isFolder) result.names.append(name);
        }
        return result;
    }

    QHash<QString, Node> m_nodes;
    QHash<QString, ListFailure> m_listErrors;
    QHash<QString, QString> m_failures;
    mutable int m_calls = 0;
    qint64 m_clock = 0;
    bool m_settled = true;
};
