// Running out of memory at any point of OpenFile gives null and leaks nothing
// (the sanitizer build checks the leaks). The library code is linked in
// directly here so that its allocations can be made to fail.
#include <gtest/gtest.h>

#include <string>

#include "PackholdTestUtil.h"
#include "format/Allocate.h"

namespace {

TEST(PackholdAllocation, EveryFailureIsReportedAsNull) {
    packhold::Table table;
    table.columns = {{"s", packhold::CellType::kText}, {"a", packhold::CellType::kIntArray}};
    table.rows.push_back({packhold::Cell::Text("x"), packhold::Cell::IntArray({1, 2})});
    table.rows.push_back({packhold::Cell(), packhold::Cell::IntArray({3})});
    packhold::Package package;
    package.tables = {table, table};
    const std::string path = packhold_test::TestFileName(".res");
    packhold_test::WriteBytes(path, packhold_test::Encode(package));

    bool opened = false;
    for (long allowed = 0; allowed < 100 && !opened; ++allowed) {
        packhold::FailAllocationsAfter(allowed);
        IPackhold* root = nullptr;
        if (CreatePackhold(packhold::kInterfaceVersion, 0, &root)) {
            IPackholdFile* file = root->OpenFile(path.c_str(), 0, "wxyz");
            if (file) {
                opened = true;
                packhold::ResetAllocationFailures();
                ASSERT_NE(file->GetTableSet()->GetTable(1), nullptr);
                EXPECT_STREQ(file->GetTableSet()->GetTable(1)->GetRow(0)->GetString("s"), "x");
                file->Close();
            }
            root->Release();
        }
        packhold::ResetAllocationFailures();
    }
    EXPECT_TRUE(opened);
    std::remove(path.c_str());
}

}  // namespace
