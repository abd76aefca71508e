#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "app/file_dialog.h"
#include "shape_test_support.h"
#include "shapes/item_result_list.h"
#include "shapes/shape_undo.h"
#include "shapes/ui/mask_save.h"
#include "shapes/ui/shape_files.h"
#include "test_support.h"

namespace orva {
namespace {

using shape_testing::ContainerTest;
using shape_testing::StatusRecorder;
using testing_util::Exists;
using testing_util::ReadText;
using testing_util::TempFolder;

void FixedClock(char* buffer) { std::strcpy(buffer, "Mon Dec  7 12:00:00 2026\n"); }

class MemberGroup : public ItemGroup {};

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

class MaskSaveTest : public ContainerTest {
protected:
    MaskSaveTest() { SetShapeFileClock(&FixedClock); }
    ~MaskSaveTest() override {
        list.SetCount(0);
        SetShapeFileClock(nullptr);
    }
    Shape* Make(int32_t kind, std::initializer_list<float> xy, int32_t role) {
        Shape* s = Add(kind, xy, role);
        s->header.offset.Reset();
        s->SetupKindProcs(nullptr, nullptr);
        s->ResetPivot(kUpdateFull);
        return s;
    }
    // A shape bound to a new entry of the list.
    Shape* Item(int32_t kind, std::initializer_list<float> xy, int32_t role) {
        Shape* s = Make(kind, xy, role);
        EXPECT_EQ(list.Add(s), 1);
        return s;
    }
    std::string File(const std::string& name) const { return folder.File(name); }
    std::string Status() const {
        return StatusRecorder::texts().empty() ? std::string() : StatusRecorder::texts().back();
    }

    TempFolder folder;
    StatusRecorder status;
    ScriptedFileDialog dialog;
    ScopedFileDialogBackend useDialog{&dialog};
    ItemResultList list;
};

TEST(MaskRoleFilter, Table) {
    const int32_t roles[] = {0, 1, 2, 3, 4, 5, 6, 7};
    // For each filter, the roles (0..7) it takes.
    struct Case {
        int32_t filter;
        std::vector<int32_t> takes;
    };
    const Case cases[] = {
        {kRoleUnset, {0, 1, 2, 3, 4, 5, 6, 7}}, {0, {0}}, {1, {1, 2, 3, 4, 6, 7}}, {2, {1, 2, 3, 4}},
        {3, {1, 2, 3, 4}}, {4, {1, 2, 3, 4}}, {5, {5}}, {6, {6, 7}}, {7, {6, 7}}, {-1, {}}};
    for (const Case& c : cases)
        for (int32_t role : roles) {
            const bool expected = std::find(c.takes.begin(), c.takes.end(), role) != c.takes.end();
            EXPECT_EQ(RoleMatches(role, c.filter), expected) << "role " << role << " filter " << c.filter;
        }
}

TEST_F(MaskSaveTest, NothingToSave) {
    for (int i = 0; i < 2; ++i) {
        Shape* empty = CreateShape(kKindRect);
        ShapeRef hold(empty);
        ASSERT_EQ(list.Add(empty), 1);
    }
    EXPECT_FALSE(SaveMasks(&list, File("m.msk").c_str(), true, false, 1, kRoleUnset));
    EXPECT_EQ(Status(), "mask - empty");
    EXPECT_EQ(StatusRecorder::codes().back(), -3);
    EXPECT_FALSE(Exists(File("m.msk")));
    // The dialogs do not open either.
    EXPECT_FALSE(SaveMasksByRole(&list, -2, 1, kRoleUnset));
    EXPECT_FALSE(SaveMasksByRole(&list, -1, 1, kRoleUnset));
    EXPECT_TRUE(dialog.Requests().empty());
    EXPECT_TRUE(folder.Files().empty());
}

TEST_F(MaskSaveTest, SaveAllIntoOneFile) {
    Item(kKindRect, {10, 10, 20, 30}, kRoleStatistic);
    Item(kKindRect, {1, 2, 3, 4}, kRoleFindArea);
    Item(kKindPolygon, {0, 0, 8, 0, 4, 6}, kRoleStatistic);
    Item(kKindLine, {0, 0, 9, 9}, kRoleSlice);  // another role
    const std::string path = File("all.msk");
    dialog.Push(ScriptedFileDialog::Choose({path}));
    ASSERT_TRUE(SaveMasksByRole(&list, -2, 1, kRoleStatistic));
    const std::string text = ReadText(path);
    EXPECT_EQ(Count(text, ";TIME="), 1u);
    // Each shape says what it is before its block: the file loads back whole.
    EXPECT_EQ(Count(text, ";SHAPETYPE="), 3u);
    EXPECT_EQ(Count(text, ";SHAPEROLE="), 3u);
    EXPECT_EQ(Count(text, ";COBJ='ANCHOR'\n;CDATA='POINT'\n;NAXIS=2\n\n;#data\n"), 3u);
    const size_t second = text.find("10 10\n20 30\n;#end\n\n;SHAPEROLE='findArea'\n;SHAPETYPE='Rect'\n");
    EXPECT_NE(second, std::string::npos) << text;
    EXPECT_NE(text.find("1 2\n3 4\n;#end\n\n;SHAPEROLE='Statistic'\n;SHAPETYPE='Polygon'\n", second), std::string::npos)
        << text;
    EXPECT_NE(text.find("\n;#data\n0 0\n8 0\n4 6\n;#end\n\n"), std::string::npos) << text;
    EXPECT_EQ(text.rfind(";TIME=", 0), 0u);
    EXPECT_EQ(Status(), "Save 3 mask(s)");
    EXPECT_EQ(StatusRecorder::codes().back(), -2);
    EXPECT_STREQ(list.anchorFileName, path.c_str());
    ASSERT_EQ(dialog.Requests().size(), 1u);
    const auto& r = dialog.Requests()[0];
    EXPECT_EQ(r.title, "Save mask(s)...");
    EXPECT_EQ(r.filterIndex, 3);
    EXPECT_EQ(r.flags & 0xC02u, 0xC02u);
    EXPECT_EQ(r.defaultExtension, "msk");
    const std::vector<FileFilterEntry> filters = {{"Text [*.msk]", "*.msk"},
                                                  {"Text [*.txt]", "*.txt"},
                                                  {"By type [*.msk, *.rep, *.txt]", "*.*"},
                                                  {"All", "*.*"}};
    EXPECT_EQ(r.filters, filters);
    // Only the file itself is left.
    EXPECT_EQ(folder.Files(), std::vector<std::string>{"all.msk"});

    // Read back with every shape it holds, each with its kind, role and points.
    Shape* made = nullptr;
    std::vector<Shape*> more;
    ASSERT_TRUE(LoadShapeFile(nullptr, path.c_str(), true, &made, &more));
    ShapeRef first(made);
    ASSERT_EQ(more.size(), 2u);
    struct Want {
        const Shape* shape;
        int32_t kind, role;
        std::vector<float> xy;
    } wants[] = {{made, kKindRect, kRoleStatistic, {10, 10, 20, 30}},
                 {more[0], kKindRect, kRoleFindArea, {1, 2, 3, 4}},
                 {more[1], kKindPolygon, kRoleStatistic, {0, 0, 8, 0, 4, 6}}};
    for (const Want& w : wants) {
        EXPECT_EQ(w.shape->header.kind, w.kind);
        EXPECT_EQ(w.shape->header.role, w.role);
        const AnchorBuffer& a = w.shape->header.anchors;
        std::vector<float> xy;
        for (uint32_t i = 0; i < a.Count(); ++i) xy.insert(xy.end(), {a.X(i), a.Y(i)});
        EXPECT_EQ(xy, w.xy);
    }
    for (Shape* extra : more) extra->Release();
    // Read as one shape (Load into the current one), the first comes.
    Shape* one = nullptr;
    ASSERT_TRUE(LoadShapeFile(nullptr, path.c_str(), true, &one));
    ShapeRef alone(one);
    EXPECT_EQ(one->header.anchors.Count(), 2u);
}

TEST_F(MaskSaveTest, ReferencePointsOfGaugeRolesFail) {
    Item(kKindLine, {0, 0, 5, 5}, kRoleDistanceMeter);
    Item(kKindRect, {0, 0, 5, 5}, kRoleGaugeArea);
    Item(kKindPolyLine, {0, 0, 5, 5, 9, 1}, kRoleDipMeter);
    const std::string path = File("g.rep");
    EXPECT_FALSE(SaveMasks(&list, path.c_str(), true, false, 0, kRoleRefPoint));
    EXPECT_EQ(Status(), "Can`t save 3 mask(s), save 0");
    EXPECT_FALSE(Exists(path));
    // A statistic shape with its reference point is saved among them.
    Shape* stat = Item(kKindRect, {0, 0, 80, 30}, kRoleStatistic);
    stat->statMark.centreX = 40.25;
    stat->statMark.centreY = 12.5;
    EXPECT_TRUE(SaveMasks(&list, path.c_str(), true, false, 0, kRoleRefPoint));
    EXPECT_EQ(Status(), "Can`t save 3 mask(s), save 1");
    const std::string text = ReadText(path);
    EXPECT_EQ(Count(text, ";COBJ="), 1u);
    EXPECT_NE(text.find("\n40.25 12.5\n;#end\n"), std::string::npos) << text;
    EXPECT_EQ(folder.Files(), std::vector<std::string>{"g.rep"});
}

TEST_F(MaskSaveTest, FileEachFromTemplate) {
    Shape* a = Item(kKindRect, {10, 10, 20, 30}, kRoleStatistic);
    Shape* b = Item(kKindRect, {0, 0, 4, 4}, kRoleStatistic);
    const std::string tail[2] = {"_Rect_" + std::to_string(a->serial), "_Rect_" + std::to_string(b->serial)};
    dialog.Push(ScriptedFileDialog::Choose({File("mask.msk")}, "", 3));
    ASSERT_TRUE(SaveMasksByRole(&list, -3, 0, kRoleUnset));
    for (const std::string& t : tail) EXPECT_TRUE(Exists(File("mask" + t + "_msk.txt"))) << t;
    EXPECT_EQ(ReadText(File("mask" + tail[0] + "_msk.txt")).rfind(";TIME=", 0), 0u);
    EXPECT_STREQ(a->dataFileName, File("mask" + tail[0] + "_msk.txt").c_str());
    EXPECT_EQ(Status(), "Save 2 mask(s)");
    dialog.Push(ScriptedFileDialog::Choose({File("mask.msk")}, "", 1));
    ASSERT_TRUE(SaveMasksByRole(&list, -3, 0, kRoleUnset));
    for (const std::string& t : tail) EXPECT_TRUE(Exists(File("mask" + t + ".msk"))) << t;
    EXPECT_EQ(folder.Files().size(), 4u);
    const auto& r = dialog.Requests();
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0].title, "select template the name for mask...");
    EXPECT_EQ(r[0].flags & 0x10C00u, 0x10C00u);
    EXPECT_EQ(r[0].flags & 0x2u, 0u);
    EXPECT_EQ(r[0].filterIndex, 3);
    EXPECT_EQ(r[1].filterIndex, 3);
    // The filter chosen last is offered next.
    dialog.Push(ScriptedFileDialog::Cancel());
    EXPECT_FALSE(SaveMasksByRole(&list, -3, 0, kRoleUnset));
    EXPECT_EQ(dialog.Requests()[2].filterIndex, 1);
}

TEST_F(MaskSaveTest, OneFileWithoutNameOrSource) {
    Item(kKindRect, {10, 10, 20, 30}, kRoleStatistic);
    char previous[4096];
    ASSERT_NE(::getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(::chdir(folder.Path().c_str()), 0);
    const bool anchors = SaveMasks(&list, nullptr, true, true, 1, kRoleUnset);
    const bool data = SaveMasks(&list, nullptr, true, true, 0, kRoleUnset);
    ASSERT_EQ(::chdir(previous), 0);
    EXPECT_TRUE(anchors);
    EXPECT_TRUE(data);
    EXPECT_NE(ReadText(File("maskn.msk")).find(";COBJ='ANCHOR'"), std::string::npos);
    EXPECT_NE(ReadText(File("maskn.txt")).find(";COBJ='REGION'"), std::string::npos);
    EXPECT_STREQ(list.anchorFileName, "maskn.msk");
    EXPECT_STREQ(list.dataFileName, "maskn.txt");
}

TEST_F(MaskSaveTest, GroupMembersBetweenListMarkers) {
    Shape* a = Make(kKindRect, {0, 0, 2, 2}, kRoleStatistic);
    Shape* b = Make(kKindRect, {5, 5, 7, 9}, kRoleStatistic);
    Shape* c = Make(kKindLine, {0, 0, 3, 3}, kRoleSlice);  // filtered out
    auto* group = new MemberGroup;
    ASSERT_TRUE(group->AddMember(a));
    ASSERT_TRUE(group->AddMember(c));
    ASSERT_TRUE(group->AddMember(b));
    group->shape = a;
    Item(kKindRect, {1, 1, 3, 3}, kRoleStatistic);
    Shape* holder = Make(kKindRect, {0, 0, 1, 1}, kRoleNone);
    ASSERT_EQ(list.Add(holder), 1);
    list.entries[1].group = group;
    group->holder = &list.entries[1];

    const std::string path = File("g.msk");
    ASSERT_TRUE(SaveMasks(&list, path.c_str(), true, false, 1, kRoleStatistic));
    const std::string text = ReadText(path);
    const std::string block = ";COBJ='ANCHOR'\n;CDATA='POINT'\n;NAXIS=2\n\n;#data\n";
    // A later shape's own lines before its block.
    const std::string keys = ";SHAPEROLE='Statistic'\n;SHAPETYPE='Rect'\n;OFFSETEDITFLAG=2\n;OFFSETAPERTURE=0\n"
                             ";OFFSETDIRECTION='CNRM'\n;SUBPIX=1\n";
    EXPECT_NE(text.find(block + "1 1\n3 3\n;#end\n\n;#begin list\n" + keys + block + "0 0\n2 2\n;#end\n\n" + keys +
                        block + "5 5\n7 9\n;#end\n\n;#end list\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(Status(), "Save 3 mask(s)");

    // The group alone; a file beginning with the group begins with a header.
    list.entries[0].shape->header.role = kRoleSlice;
    const std::string first = File("first.msk");
    ASSERT_TRUE(SaveMasks(&list, first.c_str(), true, false, 1, kRoleStatistic));
    const std::string grouped = ReadText(first);
    EXPECT_EQ(grouped.rfind(";TIME=", 0), 0u) << grouped;
    EXPECT_NE(grouped.find(";SUBPIX=1\n;#begin list\n"), std::string::npos) << grouped;

    // A file each: no markers.
    ASSERT_TRUE(SaveMasks(&list, File("each.msk").c_str(), false, false, 1, kRoleStatistic));
    for (Shape* s : {a, b}) {
        const std::string each = ReadText(File("each_Rect_" + std::to_string(s->serial) + ".msk"));
        EXPECT_EQ(each.find("list"), std::string::npos) << each;
        EXPECT_EQ(Count(each, ";COBJ="), 1u);
    }
}

}  // namespace
}  // namespace orva
