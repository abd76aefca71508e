// A data set keeps one read state from the moment its file is attached: its default is
// what the file gave. Saving the description on request writes the ".fs" file beside
// the data (or where the save dialog says), reads back the same, and makes the saved
// description the new default.
#include <gtest/gtest.h>

#include <string>

#include "data_set_fixture.h"
#include "io/data_set.h"
#include "io/redescribe.h"
#include "io/service_description.h"

namespace orva {
namespace {

using testing_io::DataSetFixture;

class ServiceSaveTest : public DataSetFixture {
protected:
    void SetUp() override {
        DataSetFixture::SetUp();
        saved = TheServiceSaveHooks();
        savedServices = TheDataSetServices();
        // Only the saves the test asks for are written.
        TheDataSetServices().saveServiceFiles = false;
    }
    void TearDown() override {
        TheServiceSaveHooks() = saved;
        TheDataSetServices() = savedServices;
        DataSetFixture::TearDown();
    }
    static bool SetScale(DataSet* d, double scale) {
        const PropertyValue v = PropertyValue::Double(scale);
        return ReadStateSetProperty(d->readState.get(), d, kPropScale, &v, 1);
    }
    ServiceSaveHooks saved;
    DataSetServices savedServices;
    static inline std::string chosen;
    static inline int asked = 0;
};

TEST_F(ServiceSaveTest, TheAttachedFileIsTheDefaultOfTheReadState) {
    const std::string path = Write("frames.raw", BigEndianFrames(20, 10, 2));
    DataSet* d = Describe(path, 20, 10, 2);
    ASSERT_NE(d->readState, nullptr);
    EXPECT_TRUE(d->readState->CompareSnapshot(d, 0));
    EXPECT_TRUE(d->readState->CompareSnapshot(d, 1));
    EXPECT_EQ(d->statedScale, 1.0);
    EXPECT_EQ(d->statedZero, 32768.0);
    ASSERT_TRUE(SetScale(d, 4.0));
    EXPECT_EQ(d->scale, 4.0);
    EXPECT_FALSE(d->readState->CompareSnapshot(d, 0));
    ASSERT_TRUE(d->readState->ApplySnapshot(d, 0));
    EXPECT_EQ(d->scale, 1.0);
    EXPECT_EQ(d->zero, 32768.0);
    EXPECT_EQ(d->statedScale, 1.0);
    // The value at (3, 2) of frame 1 comes back through the restored description.
    EXPECT_EQ(Value(d, 3, 2, 1), testing_io::Sample(3, 2, 1));
    d->Release();
}

TEST_F(ServiceSaveTest, AFormatChangeForgetsTheKeptStatistics) {
    const std::string path = Write("frames.raw", BigEndianFrames(8, 4, 1));
    DataSet* d = Describe(path, 8, 4, 1);
    d->recordWindow.resize(3);
    d->cacheValid = d->cacheHasData = 1;
    d->FormatChanged();
    EXPECT_TRUE(d->recordWindow.empty());
    EXPECT_EQ(d->cacheValid, 0);
    EXPECT_EQ(d->cacheHasData, 0);
    d->Release();
}

TEST_F(ServiceSaveTest, TheFileNameOfADataSet) {
    const std::string path = Write("frames.raw", BigEndianFrames(8, 4, 1));
    DataSet* d = Describe(path, 8, 4, 1);
    EXPECT_EQ(DataSetFileName(d), path);
    d->sourceName = "<NAME>|url|/elsewhere/a.raw";
    EXPECT_EQ(DataSetFileName(d), "/elsewhere/a.raw");
    d->sourceName = "/plain/b.raw";
    EXPECT_EQ(DataSetFileName(d), "/plain/b.raw");
    EXPECT_EQ(DataSetFileName(nullptr), "");
    d->Release();
    DataSet* loose = Shaped(0x02, 4, 4);
    EXPECT_EQ(DataSetFileName(loose), "");
    loose->Release();
}

TEST_F(ServiceSaveTest, SavingWritesTheFsFileAndMakesItTheDefault) {
    const std::string path = Write("frames.raw", BigEndianFrames(20, 10, 2));
    DataSet* d = Describe(path, 20, 10, 2);
    ASSERT_TRUE(SetScale(d, 4.0));
    ASSERT_FALSE(d->readState->CompareSnapshot(d, 0));
    EXPECT_EQ(ChooseServiceSaveName(d, true), 1);
    const std::string fs = folder.File("frames.fs");
    ASSERT_TRUE(testing_util::Exists(fs));
    EXPECT_TRUE(d->readState->CompareSnapshot(d, 0));
    ASSERT_NE(d->service, nullptr);
    // The file holds what the data set described.
    ServiceDescription* back = LoadFsDescriptionFor(path.c_str());
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->scale, 4.0);
    EXPECT_EQ(back->zero, 32768.0);
    EXPECT_EQ(back->sizeX, 20);
    EXPECT_EQ(back->sizeY, 10);
    delete back;
    // Without keeping it as the default the read state keeps its former default.
    ASSERT_TRUE(SetScale(d, 2.0));
    EXPECT_EQ(ChooseServiceSaveName(d, false), 1);
    EXPECT_FALSE(d->readState->CompareSnapshot(d, 0));
    d->Release();
}

TEST_F(ServiceSaveTest, ResultsWithoutANameOrAWritableFolder) {
    // No stream: the data set cannot describe itself.
    DataSet* loose = Shaped(0x02, 4, 4);
    EXPECT_EQ(ChooseServiceSaveName(loose, true), 0);
    EXPECT_EQ(ChooseServiceSaveName(nullptr, true), 0);
    loose->Release();

    const std::string path = Write("frames.raw", BigEndianFrames(8, 4, 1));
    DataSet* d = Describe(path, 8, 4, 1);
    // A data set that knows no file asks for one; without a hook, or when the dialog is
    // left, nothing is saved.
    d->stream->name.clear();
    d->stream->hasSecondName = 0;
    TheServiceSaveHooks().chooseName = nullptr;
    EXPECT_EQ(ChooseServiceSaveName(d, true), -1);
    asked = 0;
    TheServiceSaveHooks().chooseName = [](std::string*, const char* title, const char* extension) {
        ++asked;
        EXPECT_STREQ(title, "Choose file name for save");
        EXPECT_STREQ(extension, "fs");
        return false;
    };
    EXPECT_EQ(ChooseServiceSaveName(d, true), -1);
    EXPECT_EQ(asked, 1);
    // A chosen name in a folder that does not exist cannot be written.
    chosen = folder.File("missing/named.raw");
    TheServiceSaveHooks().chooseName = [](std::string* out, const char*, const char*) {
        *out = chosen;
        return true;
    };
    EXPECT_EQ(ChooseServiceSaveName(d, true), -2);
    // A chosen name that can be written becomes the data set's name.
    chosen = folder.File("named.raw");
    d->sourceName.clear();
    EXPECT_EQ(ChooseServiceSaveName(d, true), 1);
    EXPECT_TRUE(testing_util::Exists(folder.File("named.fs")));
    EXPECT_EQ(DataSetFileName(d), chosen);
    d->Release();
}

}  // namespace
}  // namespace orva
