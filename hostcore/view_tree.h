// The host's view tree: the nodes of Pacs_MMCTreeViewConfig nested by their
// Parent, and below each node that a plug-in serves (one with a DllName:
// a document category) the directories of Lab_List whose DocType is that
// node's TV_Name. Also the parameter texts that the host passes for a node
// and the rows it lists itself.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/data/value.h"

namespace rt {
class DataSession;
}

namespace hostcore {

enum class NodeKind {
  Folder,     // a tree node that no plug-in serves; it lists its child nodes
  Category,   // a tree node served by the plug-in; it lists its directories
  Directory,  // a Lab_List row; the plug-in lists its documents
};

struct TreeNode {
  NodeKind kind = NodeKind::Folder;
  std::int64_t id = 0;       // TV_ID in Pacs_MMCTreeViewConfig, or in Lab_List for a directory
  std::string name;          // GBK
  std::string icon;          // the node's icon file; a directory has its category's
  std::string extra_params;  // the node's Params column, passed on to the plug-in
  std::string dll_name;      // the plug-in that serves the node
  TreeNode* parent = nullptr;
  std::vector<std::unique_ptr<TreeNode>> children;
};

class ViewTree {
 public:
  // Reads the tree from the database. Nodes come in SortNo, then TV_ID
  // order; directories in TV_ID order. A node whose Parent names no node is
  // a top node; nodes whose parents form a cycle are left out.
  static ViewTree Load(rt::DataSession& database);

  const std::vector<std::unique_ptr<TreeNode>>& Roots() const { return roots_; }

  // The node at a path of names separated by '/' (names compared without
  // regard to the case of ASCII letters). The top node's name may be left
  // out. A segment "#n" means the n-th child. Raises rt::Exception naming
  // the segment that matches no node, or one that matches several.
  const TreeNode& Find(std::string_view path) const;
  // The node of a kind with an id; nullptr when there is none.
  const TreeNode* FindById(NodeKind kind, std::int64_t id) const;

  // The tree as indented lines (GBK), the current node marked with '*'.
  std::vector<std::string> Render(const TreeNode* current) const;

 private:
  std::vector<std::unique_ptr<TreeNode>> roots_;
};

// "文档管理/文档管理明细/2019年度".
std::string PathOf(const TreeNode& node);

// The parameter text the host passes for a node:
//   directory: "TV_ID=<Lab_List.TV_ID>;TV_Name=<category's TV_Name>;Icon=<icon>"
//   category or folder: "TV_Name=<TV_Name>;Icon=<icon>", then its Params
//   column when that is not empty.
std::string NodeParamText(const TreeNode& node);

// The rows that the host lists itself. A category: its directories, with
// the columns TV_ID, DISP_名称 (the directory's name) and DISP_文档数 (how
// many documents it holds). A folder: its child nodes, with TV_ID and
// DISP_名称. A directory lists nothing of the host's (empty row set).
rt::RowSet HostRows(rt::DataSession& database, const TreeNode& node);

}  // namespace hostcore
