#include "hostcore/view_tree.h"

#include <functional>
#include <map>
#include <set>

#include "hostcore/param_text_writer.h"
#include "runtime/data/sqlite/database.h"
#include "runtime/errors.h"
#include "runtime/sysutils.h"
#include "runtime/text/gbk.h"

namespace hostcore {
namespace {

std::string Text(const rt::Value& value) { return rt::ValueToText(value); }

std::int64_t Integer(const rt::Value& value) {
  if (const auto* number = std::get_if<std::int64_t>(&value)) return *number;
  int parsed = 0;
  return rt::TryStrToInt(rt::gbk::Trim(rt::ValueToText(value)), parsed) ? parsed : 0;
}

std::vector<std::string_view> Segments(std::string_view path) {
  std::vector<std::string_view> segments;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t slash = path.find('/', start);
    if (slash == std::string_view::npos) slash = path.size();
    std::string_view segment = rt::gbk::Trim(path.substr(start, slash - start));
    if (!segment.empty()) segments.push_back(segment);
    start = slash + 1;
  }
  return segments;
}

// The child that a segment names; nullptr when none. Raises for a segment
// that names several, or a "#n" outside the children.
const TreeNode* Child(const std::vector<std::unique_ptr<TreeNode>>& children, std::string_view segment,
                      std::string_view where) {
  if (segment.size() > 1 && segment.front() == '#') {
    int number = 0;
    if (!rt::TryStrToInt(segment.substr(1), number) || number < 1 || static_cast<std::size_t>(number) > children.size())
      throw rt::Exception(std::string(where) + " has no node " + std::string(segment) + " (it has " +
                          std::to_string(children.size()) + ")");
    return children[static_cast<std::size_t>(number - 1)].get();
  }
  const TreeNode* found = nullptr;
  int count = 0;
  for (const auto& child : children)
    if (rt::gbk::SameText(child->name, segment)) {
      if (!found) found = child.get();
      ++count;
    }
  if (count > 1)
    throw rt::Exception(std::to_string(count) + " nodes are named " + std::string(segment) + " under " +
                        std::string(where) + "; name one as #n, its place in the list");
  return found;
}

void RenderNode(const TreeNode& node, int depth, const TreeNode* current, std::vector<std::string>& lines) {
  lines.push_back(std::string(&node == current ? "* " : "  ") + std::string(static_cast<std::size_t>(depth) * 2, ' ') +
                  node.name);
  for (const auto& child : node.children) RenderNode(*child, depth + 1, current, lines);
}

const TreeNode* FindIn(const std::vector<std::unique_ptr<TreeNode>>& nodes, NodeKind kind, std::int64_t id) {
  for (const auto& node : nodes) {
    if (node->kind == kind && node->id == id) return node.get();
    if (const TreeNode* found = FindIn(node->children, kind, id)) return found;
  }
  return nullptr;
}

}  // namespace

ViewTree ViewTree::Load(rt::DataSession& database) {
  struct Row {
    std::int64_t id;
    bool has_parent;
    std::int64_t parent;
    std::string name, dll_name, params, icon;
  };
  std::vector<Row> rows;
  std::map<std::int64_t, std::size_t> by_id;
  const rt::RowSet nodes = database.QueryBound(
      "SELECT TV_ID, TV_Name, Parent, DllName, Params, Icon FROM Pacs_MMCTreeViewConfig ORDER BY SortNo, TV_ID", {});
  for (const auto& values : nodes.rows) {
    Row row{Integer(values[0]),
            !std::holds_alternative<std::monostate>(values[2]),
            Integer(values[2]),
            Text(values[1]),
            std::string(rt::gbk::Trim(Text(values[3]))),
            std::string(rt::gbk::Trim(Text(values[4]))),
            std::string(rt::gbk::Trim(Text(values[5])))};
    by_id.emplace(row.id, rows.size());
    rows.push_back(std::move(row));
  }
  std::map<std::int64_t, std::vector<std::size_t>> children_of;
  std::vector<std::size_t> tops;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (rows[i].has_parent && by_id.count(rows[i].parent) && rows[i].parent != rows[i].id)
      children_of[rows[i].parent].push_back(i);
    else tops.push_back(i);
  }
  const rt::RowSet lists = database.QueryBound("SELECT TV_ID, TV_Name, DocType FROM Lab_List ORDER BY TV_ID", {});

  std::set<std::int64_t> placed;
  std::function<std::unique_ptr<TreeNode>(const Row&, TreeNode*)> build = [&](const Row& row, TreeNode* parent) {
    placed.insert(row.id);
    auto node = std::make_unique<TreeNode>();
    node->kind = row.dll_name.empty() ? NodeKind::Folder : NodeKind::Category;
    node->id = row.id;
    node->name = row.name;
    node->icon = row.icon;
    node->extra_params = row.params;
    node->dll_name = row.dll_name;
    node->parent = parent;
    for (std::size_t child : children_of[row.id])
      if (!placed.count(rows[child].id)) node->children.push_back(build(rows[child], node.get()));
    if (node->kind == NodeKind::Category) {
      for (const auto& values : lists.rows) {
        if (!rt::gbk::SameText(Text(values[2]), node->name)) continue;
        auto directory = std::make_unique<TreeNode>();
        directory->kind = NodeKind::Directory;
        directory->id = Integer(values[0]);
        directory->name = Text(values[1]);
        directory->icon = node->icon;
        directory->dll_name = node->dll_name;
        directory->parent = node.get();
        node->children.push_back(std::move(directory));
      }
    }
    return node;
  };

  ViewTree tree;
  for (std::size_t top : tops) tree.roots_.push_back(build(rows[top], nullptr));
  return tree;
}

const TreeNode& ViewTree::Find(std::string_view path) const {
  const std::vector<std::string_view> segments = Segments(path);
  if (segments.empty()) throw rt::Exception("No node named: the path is empty");
  const TreeNode* node = Child(roots_, segments[0], "The tree");
  std::size_t next = 1;
  if (!node) {
    // The top node's name may be left out.
    for (const auto& root : roots_)
      if (const TreeNode* child = Child(root->children, segments[0], root->name)) {
        if (node) throw rt::Exception("Several top nodes hold a node named " + std::string(segments[0]));
        node = child;
      }
  }
  if (!node) throw rt::Exception("The tree has no node " + std::string(segments[0]));
  for (; next < segments.size(); ++next) {
    const TreeNode* child = Child(node->children, segments[next], PathOf(*node));
    if (!child) throw rt::Exception(PathOf(*node) + " has no node " + std::string(segments[next]));
    node = child;
  }
  return *node;
}

const TreeNode* ViewTree::FindById(NodeKind kind, std::int64_t id) const { return FindIn(roots_, kind, id); }

std::vector<std::string> ViewTree::Render(const TreeNode* current) const {
  std::vector<std::string> lines;
  for (const auto& root : roots_) RenderNode(*root, 0, current, lines);
  return lines;
}

std::string PathOf(const TreeNode& node) { return node.parent ? PathOf(*node.parent) + "/" + node.name : node.name; }

std::string NodeParamText(const TreeNode& node) {
  if (node.kind == NodeKind::Directory) {
    return BuildParamText({{"TV_ID", std::to_string(node.id)},
                           {"TV_Name", node.parent ? node.parent->name : std::string()},
                           {"Icon", node.icon}});
  }
  std::string text = BuildParamText({{"TV_Name", node.name}, {"Icon", node.icon}});
  if (!node.extra_params.empty()) text += ";" + node.extra_params;
  return text;
}

rt::RowSet HostRows(rt::DataSession& database, const TreeNode& node) {
  switch (node.kind) {
    case NodeKind::Category:
      return database.QueryBound(
          u8"SELECT l.TV_ID, l.TV_Name AS \"DISP_名称\", "
          u8"(SELECT count(*) FROM RIS_DOC d WHERE d.DocType = CAST(l.TV_ID AS TEXT)) AS \"DISP_文档数\" "
          u8"FROM Lab_List l WHERE l.DocType = ? ORDER BY l.TV_ID",
          {node.name});
    case NodeKind::Folder: {
      rt::RowSet rows;
      rows.fields = {{"TV_ID", rt::FieldType::Integer}, {"DISP_名称", rt::FieldType::Text}};
      for (const auto& child : node.children) rows.rows.push_back({rt::Value(child->id), rt::Value(child->name)});
      return rows;
    }
    case NodeKind::Directory: break;
  }
  return {};
}

}  // namespace hostcore
