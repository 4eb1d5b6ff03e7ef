#include <gtest/gtest.h>

#include <set>
#include <string>

#include "shell/association_table.h"

TEST(AssociationTable, RowsInFlagOrderWithTheirNames) {
    const char* order[] = {".lzh", ".zip", ".cab", ".tgz", ".tar",
                           ".gz",  ".tbz", ".bz2", ".rar", ".7z"};
    const int icons[] = {0, 1, 2, 3, 4, 3, 3, 3, 5, 6};
    std::set<std::string> classes, saved;
    for (std::size_t i = 0; i < kAssociationCount; ++i) {
        EXPECT_STREQ(kAssociations[i].extension, order[i]);
        EXPECT_EQ(kAssociations[i].iconIndex, icons[i]);
        EXPECT_EQ(std::string(".") + kAssociations[i].commandWord, order[i]);
        EXPECT_EQ(std::string(kAssociations[i].className).rfind("VopaArchive", 0), 0u);
        classes.insert(kAssociations[i].className);
        saved.insert(kAssociations[i].savedClassValue);
    }
    EXPECT_EQ(classes.size(), kAssociationCount);
    EXPECT_EQ(saved.size(), kAssociationCount);
    EXPECT_STREQ(kAssociations[0].className, "VopaArchive");
    EXPECT_STREQ(kAssociations[0].savedClassValue, "OldClass");
    EXPECT_STREQ(kAssociations[5].className, "VopaArchiveGzip");
    EXPECT_STREQ(kAssociations[9].className, "VopaArchive7zip");
    EXPECT_STREQ(kAssociations[9].savedClassValue, "Old7Class");
    EXPECT_STREQ(kAssociations[4].savedClassValue, "OldAClass");
}
