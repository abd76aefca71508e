#pragma once
// The list through which a measuring stage binds the shapes it measures, and
// the group items that combine several shapes, to its items: the entries in
// order with a current one, the back links from every shape and group item to
// the entry that holds it, and the file names last used for its masks.
#include <atomic>
#include <cstdint>

namespace orva {

class ItemGroup;
class ItemResultList;
class Shape;

struct ItemResultEntry {
    ItemGroup* group;      // counted
    Shape* shape;          // counted
    ItemResultList* list;  // the list that holds the entry
    int32_t user;
};

// A group item: several member shapes measured together. The stage that makes
// them derives its own items from it.
class ItemGroup {
public:
    ItemGroup() = default;
    ItemGroup(const ItemGroup&) = delete;
    ItemGroup& operator=(const ItemGroup&) = delete;

    int32_t AddRef();
    // The last release deletes the group.
    int32_t Release();
    // Takes a member out (its pointer to the group and the group's reference
    // go); false when it is not a member.
    bool RemoveMember(Shape* shape);
    // Adds a member with a reference; false when memory is short.
    bool AddMember(Shape* shape);

    Shape* shape = nullptr;     // the member the group shows as its own
    Shape** members = nullptr;  // counted
    uint32_t memberCount = 0;
    int64_t size = 0;           // counted into the holding list's running total
    void* owner = nullptr;      // the component (a ComponentBase) whose current data source applies
    ItemResultEntry* holder = nullptr;

protected:
    // Members are released by ItemResultList::Release.
    virtual ~ItemGroup();

private:
    std::atomic<int32_t> refs_{1};
};

// Entries an array may hold.
constexpr uint32_t kItemResultMaxEntries = 0x2000000;

class ItemResultList {
public:
    ItemResultList() = default;
    ItemResultList(const ItemResultList&) = delete;
    ItemResultList& operator=(const ItemResultList&) = delete;
    // Releases every entry and frees the remembered names.
    ~ItemResultList();

    // Sets the number of entries: 0 releases all and frees the array, growing
    // adds empty entries (raising kResultOutOfMemory beyond
    // kItemResultMaxEntries or when memory is short), shrinking releases the
    // entries beyond n.
    void SetCount(uint32_t n);
    // Binds the shape to a new entry, which becomes current: 1, or 0 while the
    // list is busy, when another list holds the shape or the array cannot grow.
    int Add(Shape* shape);
    // 2 when the current entry holds the shape (directly or as its group's own
    // shape); 1 when the shape was added or its entry (or its group's) made
    // current; 0 otherwise.
    int Find(Shape* shape);
    // Releases the entry and closes the gap: false on an empty list; raises
    // kResultInvalidArg for a pointer that is not an entry of the array.
    bool Remove(ItemResultEntry* entry);
    // Releases a group's members, from the last to the first, and frees its array.
    static void Release(ItemGroup* group);

    // The entry at an index; raises kResultInvalidArg beyond the count.
    ItemResultEntry& At(uint32_t index);
    uint32_t Count() const { return count; }

    uint8_t busy = 0;
    int64_t totalSize = 0;            // sizes of the group items held
    void* owner = nullptr;            // the owning component (a ComponentBase)
    char* anchorFileName = nullptr;   // owned
    char* dataFileName = nullptr;     // owned
    ItemResultEntry* entries = nullptr;
    uint32_t count = 0;
    uint32_t capacity = 0;
    uint32_t growthStep = 0;          // 0: count/8 within 4..1024
    uint32_t currentIndex = 0;

private:
    void ReleaseEntry(ItemResultEntry* entry);
    // The entry's group item loses the entry and one reference; its size leaves the total.
    void ReleaseGroupOf(ItemResultEntry* entry);
    // Points the shapes and groups of entries [from, to) at their places.
    void Relink(uint32_t from, uint32_t to);
    bool Holds(const ItemResultEntry* entry) const;
};

}  // namespace orva
