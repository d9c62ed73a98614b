// The node and block B-trees ([MS-PST] 2.2.2.7.7) as kept in memory: pages mirror the BTPAGEs
// on disk, with splits on insert and copy-on-write on flush. A change marks its path dirty;
// write() puts only dirty pages at new places (children first) and reports the places of the
// pages they replace, which the caller frees once the new header is written.
#pragma once

#include "ndb/NodeDatabase.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

namespace pst::ndb {

template <class Value> class CowBTree {
public:
    struct Page {
        unsigned level = 0; // 0 = leaf
        std::vector<std::uint64_t> keys; // leaf: entry keys; index: first key of each child
        std::vector<Value> values; // leaf entries
        std::vector<std::unique_ptr<Page>> children; // index entries
        Bref disk; // where the page is on disk; ib 0 = not yet written
        bool dirty = true;
        std::size_t size() const { return keys.size(); }
    };

    CowBTree(unsigned leafMax, unsigned indexMax)
        : leafMax_(leafMax)
        , indexMax_(indexMax)
        , root_(std::make_unique<Page>())
    {
    }

    std::size_t size() const { return count_; }

    const Value* find(std::uint64_t key) const
    {
        const Page* p = root_.get();
        while (p->level > 0)
            p = p->children[childFor(*p, key)].get();
        auto it = std::lower_bound(p->keys.begin(), p->keys.end(), key);
        return it != p->keys.end() && *it == key ? &p->values[it - p->keys.begin()] : nullptr;
    }

    // Lets the caller change a value in place; its pages become dirty. Null when absent.
    Value* modify(std::uint64_t key)
    {
        Path path = descend(key);
        Page* leaf = path.back().first;
        auto it = std::lower_bound(leaf->keys.begin(), leaf->keys.end(), key);
        if (it == leaf->keys.end() || *it != key)
            return nullptr;
        markDirty(path);
        return &leaf->values[it - leaf->keys.begin()];
    }

    // Inserts or replaces.
    void put(std::uint64_t key, const Value& value)
    {
        Path path = descend(key);
        Page* leaf = path.back().first;
        auto it = std::lower_bound(leaf->keys.begin(), leaf->keys.end(), key);
        const std::size_t at = static_cast<std::size_t>(it - leaf->keys.begin());
        markDirty(path);
        if (it != leaf->keys.end() && *it == key) {
            leaf->values[at] = value;
            return;
        }
        leaf->keys.insert(it, key);
        leaf->values.insert(leaf->values.begin() + static_cast<std::ptrdiff_t>(at), value);
        ++count_;
        if (at == 0)
            fixFirstKeys(path);
        splitIfFull(path, at + 1 == leaf->size());
    }

    bool erase(std::uint64_t key)
    {
        Path path = descend(key);
        Page* leaf = path.back().first;
        auto it = std::lower_bound(leaf->keys.begin(), leaf->keys.end(), key);
        if (it == leaf->keys.end() || *it != key)
            return false;
        markDirty(path);
        const std::size_t at = static_cast<std::size_t>(it - leaf->keys.begin());
        leaf->keys.erase(it);
        leaf->values.erase(leaf->values.begin() + static_cast<std::ptrdiff_t>(at));
        --count_;
        // Drop pages that became empty (never the root), then keep the parents' keys right.
        std::size_t depth = path.size() - 1;
        while (depth > 0 && path[depth].first->size() == 0) {
            Page* parent = path[depth - 1].first;
            const std::size_t idx = path[depth].second;
            retire(*parent->children[idx]);
            parent->children.erase(parent->children.begin() + static_cast<std::ptrdiff_t>(idx));
            parent->keys.erase(parent->keys.begin() + static_cast<std::ptrdiff_t>(idx));
            path.resize(depth);
            --depth;
        }
        if (!path.back().first->keys.empty())
            fixFirstKeys(path);
        // A root index page with one child gives way to the child.
        while (root_->level > 0 && root_->size() == 1) {
            auto child = std::move(root_->children.front());
            retire(*root_, false);
            root_ = std::move(child);
        }
        if (root_->level > 0 && root_->size() == 0) {
            retire(*root_, false);
            root_ = std::make_unique<Page>();
        }
        return true;
    }

    template <class F> void forEach(F&& f) const { visit(*root_, f); }

    // Writes the dirty pages, children first; writePage returns where a page went. freeOld gets
    // the places of replaced and removed pages.
    Bref write(const std::function<Bref(const Page&)>& writePage, const std::function<void(std::uint64_t)>& freeOld)
    {
        for (auto ib : retired_)
            freeOld(ib);
        retired_.clear();
        return writeRec(*root_, writePage, freeOld);
    }

private:
    using Path = std::vector<std::pair<Page*, std::size_t>>; // page, index in its parent

    static std::size_t childFor(const Page& p, std::uint64_t key)
    {
        // The last child whose first key is <= key (the first child for smaller keys).
        auto it = std::upper_bound(p.keys.begin(), p.keys.end(), key);
        return it == p.keys.begin() ? 0 : static_cast<std::size_t>(it - p.keys.begin() - 1);
    }

    Path descend(std::uint64_t key)
    {
        Path path { { root_.get(), 0 } };
        while (path.back().first->level > 0) {
            Page* p = path.back().first;
            const std::size_t idx = childFor(*p, key);
            path.push_back({ p->children[idx].get(), idx });
        }
        return path;
    }

    static void markDirty(const Path& path)
    {
        for (auto& [page, idx] : path)
            page->dirty = true;
    }

    static void fixFirstKeys(const Path& path)
    {
        for (std::size_t d = path.size() - 1; d > 0; --d) {
            Page* parent = path[d - 1].first;
            const std::size_t idx = path[d].second;
            parent->keys[idx] = path[d].first->keys.front();
            if (idx != 0)
                break;
        }
    }

    void retire(Page& p, bool withChildren = true)
    {
        if (p.disk.ib)
            retired_.push_back(p.disk.ib);
        if (withChildren)
            for (auto& c : p.children)
                retire(*c);
    }

    void splitIfFull(Path& path, bool appended)
    {
        for (std::size_t d = path.size(); d-- > 0;) {
            Page* p = path[d].first;
            const unsigned max = p->level == 0 ? leafMax_ : indexMax_;
            if (p->size() <= max)
                return;
            // Appending (rising keys, the usual case) leaves the left page full; else halves.
            const std::size_t keep = appended ? max : p->size() / 2;
            auto right = std::make_unique<Page>();
            right->level = p->level;
            right->keys.assign(p->keys.begin() + static_cast<std::ptrdiff_t>(keep), p->keys.end());
            p->keys.resize(keep);
            if (p->level == 0) {
                right->values.assign(p->values.begin() + static_cast<std::ptrdiff_t>(keep), p->values.end());
                p->values.resize(keep);
            } else {
                for (std::size_t i = keep; i < p->children.size(); ++i)
                    right->children.push_back(std::move(p->children[i]));
                p->children.resize(keep);
            }
            const std::uint64_t firstKey = right->keys.front();
            if (d == 0) {
                auto top = std::make_unique<Page>();
                top->level = p->level + 1;
                top->keys = { p->keys.front(), firstKey };
                top->children.push_back(std::move(root_));
                top->children.push_back(std::move(right));
                root_ = std::move(top);
                return;
            }
            Page* parent = path[d - 1].first;
            const std::size_t idx = path[d].second;
            parent->keys.insert(parent->keys.begin() + static_cast<std::ptrdiff_t>(idx + 1), firstKey);
            parent->children.insert(parent->children.begin() + static_cast<std::ptrdiff_t>(idx + 1), std::move(right));
            appended = appended && idx + 2 == parent->size();
        }
    }

    Bref writeRec(
        Page& p, const std::function<Bref(const Page&)>& writePage, const std::function<void(std::uint64_t)>& freeOld)
    {
        if (!p.dirty)
            return p.disk;
        for (auto& c : p.children)
            writeRec(*c, writePage, freeOld);
        if (p.disk.ib)
            freeOld(p.disk.ib);
        p.disk = writePage(p);
        p.dirty = false;
        return p.disk;
    }

    template <class F> static void visit(const Page& p, F& f)
    {
        if (p.level == 0) {
            for (std::size_t i = 0; i < p.keys.size(); ++i)
                f(p.keys[i], p.values[i]);
        } else {
            for (const auto& c : p.children)
                visit(*c, f);
        }
    }

    unsigned leafMax_, indexMax_;
    std::unique_ptr<Page> root_;
    std::size_t count_ = 0;
    std::vector<std::uint64_t> retired_;
};

} // namespace pst::ndb
