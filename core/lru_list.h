#pragma once
// An intrusive, circular, doubly linked list: the node (lru_obj_s) lives inside the listed
// object, so linking and unlinking never allocate and take constant time.
//
// The head (lru_list_t) is itself a node of the same layout, so a walk needs no special end
// case:
//     for (lru_obj_s* node = lru_obj_s::Next(&list); node != &list; node = lru_obj_s::Next(node))
// An empty list's head points at itself. Unlink the current node only after taking its
// successor.
//
// Node fields: owner (the list it is in), next, prev (null when unlinked), reserved (0),
// linked (1 while in a list), count (0). Head fields: owner, next, prev (the head itself
// when empty), reserved (-1), linked (1), count (nodes in the list).
//
// Not thread-safe. A node must be unlinked before the object holding it goes away.
#include <cstdint>

struct lru_list_t;

struct lru_obj_s {
    lru_list_t* owner = nullptr;
    lru_obj_s* next = nullptr;
    lru_obj_s* prev = nullptr;
    std::int32_t reserved = 0;
    std::int32_t linked = 0;
    std::int32_t count = 0;

    // Zeroes every field (a node that is known not to be in a list, e.g. a fresh copy).
    void Clear() { *this = lru_obj_s(); }

    // Takes the node out of its list when both of its links are set; otherwise does nothing.
    // Returns the node.
    lru_obj_s* Unlink();

    // The node after `node` (the first node for a head; the head after the last node);
    // null for null.
    static lru_obj_s* Next(lru_obj_s* node) { return node ? node->next : nullptr; }
};

struct lru_list_t : lru_obj_s {
    lru_list_t() { Init(); }
    // A head is referenced by its own nodes: copying one would leave them pointing at the
    // original.
    lru_list_t(const lru_list_t&) = delete;
    lru_list_t& operator=(const lru_list_t&) = delete;

    // Makes the list empty (its nodes, if any, are forgotten, not unlinked).
    void Init();

    // Links `node` at the end. A node still in a list (this one or another) is taken out of
    // it first, so it is never in two lists at once.
    void PushBack(lru_obj_s* node);
    // Links `node` at the front, taken out of any list first as PushBack does.
    void PushFront(lru_obj_s* node);

    std::int32_t Count() const { return count; }
    bool Empty() const { return next == this; }

private:
    void LinkBetween(lru_obj_s* node, lru_obj_s* before, lru_obj_s* after);
};

inline void lru_list_t::Init() {
    owner = this;
    next = this;
    prev = this;
    reserved = -1;
    linked = 1;
    count = 0;
}

inline void lru_list_t::PushBack(lru_obj_s* node) {
    node->Unlink();
    LinkBetween(node, prev, this);
}

inline void lru_list_t::PushFront(lru_obj_s* node) {
    node->Unlink();
    LinkBetween(node, this, next);
}

inline void lru_list_t::LinkBetween(lru_obj_s* node, lru_obj_s* before, lru_obj_s* after) {
    node->prev = before;
    node->next = after;
    before->next = node;
    after->prev = node;
    node->owner = this;
    node->linked = 1;
    ++count;
}

inline lru_obj_s* lru_obj_s::Unlink() {
    if (next == nullptr || prev == nullptr) return this;
    if (owner != nullptr) --owner->count;
    prev->next = next;
    next->prev = prev;
    owner = nullptr;
    next = nullptr;
    prev = nullptr;
    linked = 0;
    return this;
}
