#include "shapes/item_result_list.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "shapes/result_code_error.h"
#include "shapes/shape.h"

namespace orva {

// ---- Group items ------------------------------------------------------------------------

int32_t ItemGroup::AddRef() { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }

int32_t ItemGroup::Release() {
    int32_t left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return left;
}

ItemGroup::~ItemGroup() { ItemResultList::Release(this); }

bool ItemGroup::AddMember(Shape* member) {
    if (member == nullptr) return false;
    auto* grown = static_cast<Shape**>(std::realloc(members, (static_cast<size_t>(memberCount) + 1) * sizeof(Shape*)));
    if (grown == nullptr) return false;
    members = grown;
    members[memberCount++] = member;
    member->AddRef();
    member->itemGroup = this;
    return true;
}

bool ItemGroup::RemoveMember(Shape* member) {
    for (uint32_t i = 0; i < memberCount; ++i) {
        if (members[i] != member) continue;
        std::memmove(members + i, members + i + 1, (memberCount - i - 1) * sizeof(Shape*));
        --memberCount;
        if (shape == member) shape = nullptr;
        if (member->itemGroup == this) member->itemGroup = nullptr;
        member->Release();
        return true;
    }
    return false;
}

void ItemResultList::Release(ItemGroup* group) {
    if (group == nullptr) return;
    for (uint32_t i = group->memberCount; i-- > 0;) {
        Shape* member = group->members[i];
        if (member == nullptr) continue;
        if (member->itemGroup == group) member->itemGroup = nullptr;
        member->Release();
    }
    std::free(group->members);
    group->members = nullptr;
    group->memberCount = 0;
    group->shape = nullptr;
}

// ---- The list ------------------------------------------------------------------------------

ItemResultList::~ItemResultList() {
    SetCount(0);
    std::free(anchorFileName);
    std::free(dataFileName);
}

bool ItemResultList::Holds(const ItemResultEntry* entry) const {
    if (entry == nullptr || entries == nullptr) return false;
    auto start = reinterpret_cast<uintptr_t>(entries);
    auto at = reinterpret_cast<uintptr_t>(entry);
    if (at < start) return false;
    uintptr_t offset = at - start;
    return offset % sizeof(ItemResultEntry) == 0 && offset / sizeof(ItemResultEntry) < count;
}

ItemResultEntry& ItemResultList::At(uint32_t index) {
    if (index >= count) ThrowResultCode(kResultInvalidArg);
    return entries[index];
}

void ItemResultList::Relink(uint32_t from, uint32_t to) {
    for (uint32_t i = from; i < to; ++i) {
        ItemResultEntry* e = &entries[i];
        if (e->shape != nullptr) e->shape->itemEntry = e;
        if (e->group != nullptr) e->group->holder = e;
    }
}

void ItemResultList::ReleaseGroupOf(ItemResultEntry* entry) {
    if (ItemGroup* group = entry->group) {
        totalSize -= group->size;
        if (group->holder == entry) group->holder = nullptr;
        entry->group = nullptr;
        group->Release();
    }
}

void ItemResultList::ReleaseEntry(ItemResultEntry* entry) {
    ReleaseGroupOf(entry);
    if (Shape* shape = entry->shape) {
        if (shape->itemEntry == entry) shape->itemEntry = nullptr;
        entry->shape = nullptr;
        shape->Release();
    }
    entry->list = nullptr;
    entry->user = 0;
}

void ItemResultList::SetCount(uint32_t n) {
    if (n == 0) {
        for (uint32_t i = 0; i < count; ++i) ReleaseEntry(&entries[i]);
        std::free(entries);
        entries = nullptr;
        count = capacity = 0;
        currentIndex = 0;
        return;
    }
    if (n > capacity) {
        if (n > kItemResultMaxEntries) ThrowResultCode(kResultOutOfMemory);
        uint64_t grown = 0;
        if (capacity == 0) {
            grown = growthStep != 0 && growthStep <= kItemResultMaxEntries && growthStep > n ? growthStep : n;
        } else {
            uint64_t step = growthStep != 0 ? growthStep : std::clamp<uint32_t>(count / 8, 4, 1024);
            grown = std::min<uint64_t>(capacity + step, kItemResultMaxEntries);
            grown = std::max<uint64_t>(grown, n);
        }
        // Grown in place where the allocator can (a large block is remapped, not copied
        // page by page: a list of many thousand items grows often); the shapes and
        // groups follow a block that moved.
        auto* block =
            static_cast<ItemResultEntry*>(std::realloc(static_cast<void*>(entries), grown * sizeof(ItemResultEntry)));
        if (block == nullptr) ThrowResultCode(kResultOutOfMemory);
        std::memset(static_cast<void*>(block + count), 0, (grown - count) * sizeof(ItemResultEntry));
        const bool moved = block != entries;
        entries = block;
        capacity = static_cast<uint32_t>(grown);
        if (moved) Relink(0, count);
    }
    if (n > count) {
        std::memset(static_cast<void*>(entries + count), 0, (n - count) * sizeof(ItemResultEntry));
    } else {
        for (uint32_t i = n; i < count; ++i) ReleaseEntry(&entries[i]);
    }
    count = n;
    if (currentIndex >= count) currentIndex = count - 1;
}

int ItemResultList::Add(Shape* shape) {
    if (busy || shape == nullptr) return 0;
    if (shape->itemEntry != nullptr && shape->itemEntry->list != this) return 0;
    uint32_t index = count;
    int result = 0;
    uint32_t failure = CatchResultCode([&] {
        SetCount(count + 1);
        ItemResultEntry* entry = &At(index);
        entry->list = this;
        if (entry->shape != shape) {
            ReleaseGroupOf(entry);
            // The new entry's reference, taken first: the shape's old entry may hold the only one.
            shape->AddRef();
            if (shape->itemEntry != nullptr) {
                // Bound elsewhere in this list: that entry goes, closing the gap.
                uint32_t old = static_cast<uint32_t>(shape->itemEntry - entries);
                Remove(shape->itemEntry);
                if (old < index) --index;
                entry = &At(index);
            } else if (shape->itemGroup != nullptr) {
                shape->itemGroup->RemoveMember(shape);
            }
            entry->shape = shape;
            shape->itemEntry = entry;
        }
        currentIndex = index;
        result = 1;
    });
    return failure == 0 ? result : 0;
}

int ItemResultList::Find(Shape* shape) {
    if (shape == nullptr) return 0;
    if (shape->itemEntry != nullptr && shape->itemEntry->list != this) return 0;
    if (currentIndex < count) {
        const ItemResultEntry& e = entries[currentIndex];
        if (e.shape == shape || (e.group != nullptr && e.group->shape == shape)) return 2;
    }
    if (shape->itemGroup == nullptr && shape->itemEntry == nullptr) return Add(shape);
    if (Holds(shape->itemEntry)) {
        currentIndex = static_cast<uint32_t>(shape->itemEntry - entries);
        return 1;
    }
    ItemGroup* group = shape->itemGroup;
    if (group != nullptr && Holds(group->holder)) {
        currentIndex = static_cast<uint32_t>(group->holder - entries);
        group->shape = shape;
        return 1;
    }
    return 0;
}

bool ItemResultList::Remove(ItemResultEntry* entry) {
    if (count == 0) return false;
    if (!Holds(entry)) ThrowResultCode(kResultInvalidArg);
    auto index = static_cast<uint32_t>(entry - entries);
    ReleaseEntry(entry);
    std::memmove(static_cast<void*>(entries + index), entries + index + 1,
                 (count - index - 1) * sizeof(ItemResultEntry));
    --count;
    std::memset(static_cast<void*>(entries + count), 0, sizeof(ItemResultEntry));
    Relink(index, count);
    if (currentIndex >= count) currentIndex = count != 0 ? count - 1 : 0;
    return true;
}

}  // namespace orva
