#include "hostcore/demo_data.h"

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <random>

#include "hostcore/home.h"
#include "labdoc/api.h"
#include "runtime/data/sqlite/database.h"
#include "runtime/errors.h"
#include "runtime/ole/variant.h"
#include "runtime/platform/platform.h"
#include "runtime/sysutils.h"

namespace hostcore {
namespace {

constexpr const char* kPluginFile = "labdocs.dll";
constexpr const char* kDocIcon = "labdoc.ico";
constexpr const char* kFolderIcon = "folder.ico";
constexpr const char* kSubsystem = "LIS_DIRECTOR";

struct DemoDirectory {
  std::int64_t id;
  const char* name;
  const char* category;
};

constexpr DemoDirectory kDirectories[] = {
    {1, "2019年度", "文档管理明细"},
    {2, "2020年度", "文档管理明细"},
    {3, "仪器操作规程", "文档管理明细"},
    {4, "2019年论文", "论文管理明细"},
    {5, "2020年论文", "论文管理明细"},
    {6, "质量手册", "质量管理明细"},
    {7, "2021年度 \"内审\" 资料; 待归档", "文档管理明细"},
};

struct DemoDocument {
  std::int64_t directory;
  const char* file_name;  // GBK
  const char* description;
  const char* first_author;
  const char* authors;
  const char* modified;  // the audit row's time
  const char* content;   // UTF-8, as files on this system are
};

constexpr DemoDocument kDocuments[] = {
    {1, "实验室安全手册.txt", "实验室安全管理规定（2019 年修订）", nullptr, nullptr, "2019-03-01 09:30:00.000",
     u8"实验室安全手册\n1. 进入实验室须穿戴工作服、手套。\n2. 离开前关闭水、电、气。\n"},
    {1, "仪器校准记录 2019; 第2版.csv", "第 2 版; 含\"附录 A\"", nullptr, nullptr, "2019-06-12 14:05:00.000",
     u8"仪器,校准日期,结果\n血球分析仪,2019-06-10,合格\n生化分析仪,2019-06-11,合格\n"},
    {2, "室内质控月报.txt", "2020年1月室内质控总结", nullptr, nullptr, "2020-02-03 08:45:00.000",
     u8"2020年1月室内质控：全部项目在控。\n"},
    {3, "血球分析仪操作规程.txt", "血液科 XN-1000 标准操作规程", nullptr, nullptr, "2018-11-20 10:00:00.000",
     u8"开机 → 质控 → 样本检测 → 关机保养\n"},
    {4, "血清学检验新进展.txt", "综述，投稿《检验医学》", "陈玕", "李明, 王芳", "2019-09-18 16:20:00.000",
     u8"摘要：本文综述了近年来血清学检验的新进展。\n"},
    {6, "质量手册第三版.txt", "质量手册（第三版）", nullptr, nullptr, "2021-01-05 09:00:00.000",
     u8"第一章 总则\n第二章 组织与管理\n"},
    {7, "内审检查表.txt", "2021 年内审检查表", nullptr, nullptr, "2021-04-22 15:10:00.000",
     u8"条款,检查内容,结论\n4.1,组织与管理,符合\n"},
};

rt::Value Text(const char* text) { return text ? rt::Value(std::string(text)) : rt::Value(); }

// A 32 × 32 icon: a white page with blue lines (folder: a yellow folder).
std::vector<std::uint8_t> IconBytes(bool folder) {
  constexpr int kSize = 32;
  std::vector<std::uint8_t> bytes;
  auto put16 = [&](unsigned v) { bytes.insert(bytes.end(), {std::uint8_t(v), std::uint8_t(v >> 8)}); };
  auto put32 = [&](std::uint32_t v) {
    bytes.insert(bytes.end(), {std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16), std::uint8_t(v >> 24)});
  };
  const std::uint32_t image_size = 40 + kSize * kSize * 4 + kSize * 4;
  // clang-format off
  put16(0), put16(1), put16(1);                                            // icon file, one image
  bytes.insert(bytes.end(), {kSize, kSize, 0, 0}), put16(1), put16(32);    // 32 × 32, 32 bits
  put32(image_size), put32(22);
  put32(40), put32(kSize), put32(kSize * 2), put16(1), put16(32);          // the bitmap header
  // clang-format on
  for (int i = 0; i < 6; ++i) put32(0);
  for (int y = kSize - 1; y >= 0; --y)  // bottom-up
    for (int x = 0; x < kSize; ++x) {
      std::uint8_t b = 0, g = 0, r = 0, a = 0;
      if (folder ? (y >= 8 && y < 28 && x >= 2 && x < 30) || (y >= 5 && y < 8 && x >= 2 && x < 14)
                 : (x >= 6 && x < 26 && y >= 2 && y < 30)) {
        a = 255;
        if (folder) b = 40, g = 200, r = 250;
        else if (x >= 9 && x < 23 && y >= 7 && y < 26 && y % 4 == 3) b = 200, g = 90, r = 30;
        else b = g = r = 250;
      }
      bytes.insert(bytes.end(), {b, g, r, a});
    }
  bytes.insert(bytes.end(), static_cast<std::size_t>(kSize * 4), 0);  // the mask: the alpha decides
  return bytes;
}

void WriteFile(const std::filesystem::path& path, const void* data, std::size_t size) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
  if (!file) throw rt::Exception("Cannot write " + rt::platform::AnsiPath(path));
}

// The document store, when its library is there: loaded by name, as the
// plug-in loads it.
class DocStore {
 public:
  static std::unique_ptr<DocStore> Load(const std::string& cache_dir) {
    HMODULE library = LoadLibraryA(labdocs::kDocStoreLibrary);
    if (!library) return nullptr;
    auto store = std::unique_ptr<DocStore>(new DocStore(library));
    if (!store->api_.HasRequired()) return nullptr;
    char buffer[labdocs::kCacheDirBufferSize] = {};
    if (cache_dir.size() >= sizeof buffer) throw rt::Exception("The cache folder's path is too long: " + cache_dir);
    std::memcpy(buffer, cache_dir.data(), cache_dir.size());
    std::int32_t reserved = 0;
    if (FAILED(store->api_.InitLabDoc(buffer, &reserved)))
      throw rt::Exception("The document store LAB_DOC did not start");
    store->ready_ = true;
    return store;
  }

  ~DocStore() {
    if (ready_) api_.FreeLabDoc();
    FreeLibrary(library_);
  }

  // Stores a file (GBK path); the new document's number.
  std::int32_t Save(const std::string& path) {
    char buffer[labdocs::kFilePathBufferSize] = {};
    if (path.size() >= sizeof buffer) throw rt::Exception("The path is too long for the document store: " + path);
    std::memcpy(buffer, path.data(), path.size());
    std::int32_t id = 0;
    std::uint8_t ok = 0;
    if (FAILED(api_.SaveLabDoc(buffer, &id, &ok)) || !ok || id < 1)
      throw rt::Exception("The document store did not store " + path);
    return id;
  }

 private:
  explicit DocStore(HMODULE library) : library_(library), api_(labdocs::ResolveDocStoreApi(library)) {}
  HMODULE library_;
  labdocs::DocStoreApi api_;
  bool ready_ = false;
};

// A folder for the demo's files, removed afterwards.
struct ScratchFolder {
  std::filesystem::path path;
  ScratchFolder() {
    std::random_device random;
    path = std::filesystem::temp_directory_path() / ("labdocs-demo-" + std::to_string(random()));
    std::filesystem::create_directories(path);
  }
  ~ScratchFolder() {
    std::error_code error;
    std::filesystem::remove_all(path, error);
  }
};

}  // namespace

void FillDemoData(rt::DataSession& database, const std::string& base_dir, std::vector<std::string>& notes) {
  // The tree and the directories.
  struct Node {
    std::int64_t id;
    std::optional<std::int64_t> parent;
    const char* name;
    const char* dll;
    const char* icon;
  };
  const Node nodes[] = {{1, std::nullopt, "文档管理", nullptr, kFolderIcon},
                        {2, 1, "文档管理明细", kPluginFile, kDocIcon},
                        {3, 1, "论文管理明细", kPluginFile, kDocIcon},
                        {4, 1, "质量管理明细", kPluginFile, kDocIcon}};
  {
    rt::Transaction transaction(database);
    for (const Node& node : nodes)
      database.ExecuteBound("INSERT INTO Pacs_MMCTreeViewConfig(TV_ID,TV_Name,Parent,SubSysCode,DllName,Icon,SortNo) "
                            "VALUES(?,?,?,?,?,?,?)",
                            {node.id, std::string(node.name), node.parent ? rt::Value(*node.parent) : rt::Value(),
                             std::string(kSubsystem), Text(node.dll), std::string(node.icon), node.id});
    for (const DemoDirectory& directory : kDirectories)
      database.ExecuteBound("INSERT INTO Lab_List(TV_ID,TV_Name,DocType) VALUES(?,?,?)",
                            {directory.id, std::string(directory.name), std::string(directory.category)});
    transaction.Commit();
  }

  // The icons appear whole: a console starting beside this one may be
  // writing the same icons or showing them. (Windows does not replace a file
  // another process has open: an icon that is there already with the same
  // bytes is kept.)
  std::random_device random;
  for (bool folder : {false, true}) {
    const std::vector<std::uint8_t> icon = IconBytes(folder);
    const std::filesystem::path path =
        rt::platform::NativePath(base_dir + kIconFolder + (folder ? kFolderIcon : kDocIcon));
    std::filesystem::path partial = path;
    partial += ".new-" + std::to_string(random());
    WriteFile(partial, icon.data(), icon.size());
    std::error_code error;
    std::filesystem::rename(partial, path, error);
    if (error) {
      std::filesystem::remove(partial, error);
      std::ifstream there(path, std::ios::binary);
      if (std::vector<std::uint8_t>(std::istreambuf_iterator<char>(there), {}) != icon)
        throw rt::Exception("Cannot write " + rt::platform::AnsiPath(path));
    }
  }

  // The documents' files: through the document store when it is there.
  ScratchFolder scratch;
  std::unique_ptr<DocStore> store = DocStore::Load(base_dir + kCacheFolder);
  notes.push_back(store ? std::string("The demo documents were stored through the document store LAB_DOC.")
                        : std::string("The document store LAB_DOC was not found: the demo documents are listed, "
                                      "without stored content."));
  std::int64_t next_labdoc_id = 1;
  std::int64_t record_id = 1;
  for (std::size_t i = 0; i < std::size(kDocuments); ++i) {
    const DemoDocument& document = kDocuments[i];
    const std::string content = document.content;
    std::int64_t labdoc_id = 0;
    if (store) {
      const std::filesystem::path file = scratch.path / rt::platform::NativePath(document.file_name);
      WriteFile(file, content.data(), content.size());
      labdoc_id = store->Save(rt::platform::AnsiPath(file));
    } else {
      // Without the store only the row that lists the document is written:
      // its content is the store's own business.
      labdoc_id = next_labdoc_id++;
      database.ExecuteBound("INSERT INTO DB_FILE_STORAGE(LABDOC_ID,FILE_NAME,STOREDTIME) VALUES(?,?,?)",
                            {labdoc_id, std::string(document.file_name), std::string(document.modified)});
    }
    const auto id = static_cast<std::int64_t>(i + 1);
    rt::Transaction transaction(database);
    database.ExecuteBound(
        "INSERT INTO RIS_DOC(ID,LABDOC_ID,DocType,DESCS,FstAuthor,Authors,UserId) VALUES(?,?,?,?,?,?,?)",
        {id, labdoc_id, std::to_string(document.directory), std::string(document.description),
         Text(document.first_author), Text(document.authors), std::string("admin")});
    database.ExecuteBound(
        "INSERT INTO DB_FILE_RECORD(ID,FileTableName,FileTableID,LABDOC_ID,SRCFILENAME,HOSTNAME,USERID,USERNAME,"
        "MODIFYTIME) VALUES(?,?,?,?,?,?,?,?,?)",
        {record_id++, std::string("RIS_DOC"), id, labdoc_id, std::string(document.file_name), std::string("LAB-PC01"),
         std::string("admin"), std::string("系统管理员"), std::string(document.modified)});
    transaction.Commit();
  }
}

}  // namespace hostcore
