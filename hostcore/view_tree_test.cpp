#include "hostcore/view_tree.h"

#include <gtest/gtest.h>

#include "runtime/data/test_folder.h"
#include "runtime/data/sqlite/database.h"
#include "runtime/errors.h"

namespace hostcore {
namespace {

class ViewTreeTest : public ::testing::Test {
 protected:
  ViewTreeTest() : database_(folder_.File("labdocs.db")) {
    database_.Execute("insert into Pacs_MMCTreeViewConfig(TV_ID,TV_Name,Parent,DllName,Params,Icon,SortNo) values"
                      "(1,'文档管理',null,null,null,'folder.ico',1),"
                      "(3,'论文管理明细',1,'labdocs.dll','Mode=1','paper.ico',2),"
                      "(2,'文档管理明细',1,'labdocs.dll',null,'doc.ico',1),"
                      "(9,'系统设置',77,null,null,null,2),"  // its parent is missing: a top node
                      "(10,'环A',11,null,null,null,3),(11,'环B',10,null,null,null,3)");  // a cycle: left out
    database_.Execute("insert into Lab_List(TV_ID,TV_Name,DocType) values(5,'2019年度','文档管理明细'),"
                      "(6,'a \"b\"; c','文档管理明细'),(7,'2019年论文','论文管理明细'),(8,'2019年度','论文管理明细'),"
                      "(12,'重名','论文管理明细'),(13,'重名','论文管理明细'),(14,'无主','没有这个类别')");
    database_.Execute("insert into RIS_DOC(ID,LABDOC_ID,DocType) values(1,1,'5'),(2,2,'5'),(3,3,'7')");
  }

  rt::testing::TestFolder folder_;
  rt::sqlite::Database database_;
};

TEST_F(ViewTreeTest, NestsNodesAndPutsDirectoriesUnderTheirCategory) {
  const ViewTree tree = ViewTree::Load(database_);
  EXPECT_EQ(tree.Render(nullptr),
            (std::vector<std::string>{"  文档管理", "    文档管理明细", "      2019年度", "      a \"b\"; c",
                                      "    论文管理明细", "      2019年论文", "      2019年度", "      重名",
                                      "      重名", "  系统设置"}));
  const TreeNode& category = tree.Find("文档管理/文档管理明细");
  EXPECT_EQ(category.kind, NodeKind::Category);
  EXPECT_EQ(category.dll_name, "labdocs.dll");
  const TreeNode& directory = *category.children.at(1);
  EXPECT_EQ(directory.name, "a \"b\"; c");
  EXPECT_EQ(directory.icon, "doc.ico");
  EXPECT_EQ(tree.Find("文档管理").kind, NodeKind::Folder);
  EXPECT_EQ(tree.FindById(NodeKind::Directory, 8)->parent->name, "论文管理明细");
  EXPECT_EQ(tree.FindById(NodeKind::Category, 8), nullptr);
  EXPECT_EQ(tree.Render(&directory).at(3), "*     a \"b\"; c");
}

TEST_F(ViewTreeTest, FindsPathsWithOrWithoutTheTopNode) {
  const ViewTree tree = ViewTree::Load(database_);
  EXPECT_EQ(PathOf(tree.Find("文档管理/论文管理明细/2019年度")), "文档管理/论文管理明细/2019年度");
  EXPECT_EQ(tree.Find("论文管理明细/2019年度").id, 8);
  EXPECT_EQ(tree.Find(" /文档管理明细/ 2019年度 /").id, 5);
  EXPECT_EQ(tree.Find("文档管理明细/#2").id, 6);
  EXPECT_EQ(tree.Find("论文管理明细/#4").id, 13);
  EXPECT_EQ(tree.Find("文档管理明细/A \"B\"; C").id, 6);  // ASCII letters in any case

  auto error_of = [&](std::string_view path) {
    try {
      tree.Find(path);
    } catch (const rt::Exception& error) {
      return std::string(error.what());
    }
    return std::string("found");
  };
  EXPECT_EQ(error_of("论文管理明细/重名"),
            "2 nodes are named 重名 under 文档管理/论文管理明细; name one as #n, its place in the list");
  EXPECT_EQ(error_of("文档管理明细/2020年度"), "文档管理/文档管理明细 has no node 2020年度");
  EXPECT_EQ(error_of("文档管理明细/#9"), "文档管理/文档管理明细 has no node #9 (it has 2)");
  EXPECT_EQ(error_of("环A"), "The tree has no node 环A");
  EXPECT_EQ(error_of(""), "No node named: the path is empty");
}

TEST_F(ViewTreeTest, ParamTextsAndTheHostsOwnRows) {
  const ViewTree tree = ViewTree::Load(database_);
  EXPECT_EQ(NodeParamText(tree.Find("文档管理明细/2019年度")), "TV_ID=5;TV_Name=文档管理明细;Icon=doc.ico");
  EXPECT_EQ(NodeParamText(tree.Find("论文管理明细/2019年度")), "TV_ID=8;TV_Name=论文管理明细;Icon=paper.ico");
  EXPECT_EQ(NodeParamText(tree.Find("论文管理明细")), "TV_Name=论文管理明细;Icon=paper.ico;Mode=1");

  const rt::RowSet directories = HostRows(database_, tree.Find("文档管理明细"));
  ASSERT_EQ(directories.fields.size(), 3u);
  EXPECT_EQ(directories.fields[0].name, "TV_ID");
  EXPECT_EQ(directories.fields[1].name, "DISP_名称");
  EXPECT_EQ(directories.fields[2].name, "DISP_文档数");
  ASSERT_EQ(directories.rows.size(), 2u);
  EXPECT_EQ(directories.rows[0], (std::vector<rt::Value>{std::int64_t{5}, std::string("2019年度"), std::int64_t{2}}));
  EXPECT_EQ(directories.rows[1][1], rt::Value(std::string("a \"b\"; c")));
  EXPECT_EQ(directories.rows[1][2], rt::Value(std::int64_t{0}));

  const rt::RowSet children = HostRows(database_, tree.Find("文档管理"));
  ASSERT_EQ(children.rows.size(), 2u);
  EXPECT_EQ(children.rows[1], (std::vector<rt::Value>{std::int64_t{3}, std::string("论文管理明细")}));
  EXPECT_TRUE(HostRows(database_, tree.Find("文档管理明细/2019年度")).rows.empty());
}

}  // namespace
}  // namespace hostcore
