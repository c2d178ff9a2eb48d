// The transcript of the README's session with adding and revising, the
// temporary folder's path written <folder>, separators '/', and the time
// the document was added <now>.
#pragma once

namespace console::testing {

inline constexpr const char* kReadmeSession = u8R"(> open 文档管理明细
node: 文档管理/文档管理明细
params: TV_Name=文档管理明细;Icon=labdoc.ico
  #  名称                          文档数
  1  2019年度                      2
  2  2020年度                      1
  3  仪器操作规程                  1
  4  2021年度 "内审" 资料; 待归档  1
(4 rows)
> select 4
selected: 4
> menu
menu for row 4:
   1  新增文档...  miNew
   2  删除目录     miDeleteList
   3  复制目录     miCopyList
> open 文档管理明细/2019年度
node: 文档管理/文档管理明细/2019年度
params: TV_ID=1;TV_Name=文档管理明细;Icon=labdoc.ico
  #  ID  文件ID  名称                          描述                               修改时间
  1  1   1       实验室安全手册.txt            实验室安全管理规定（2019 年修订）  2019-03-01 09:30:00
  2  2   2       仪器校准记录 2019; 第2版.csv  第 2 版; 含"附录 A"                2019-06-12 14:05:00
(2 rows)
> select 2
selected: 2
> menu
menu for row 2:
   1  删除文档     miDelete
   2  打开文档     miOpenFile  (default)
   3  另存为       miSaveAs
   4  属性         miProperties
   5  修改文档     N2
   6  版本历史...  miVersions
> run 另存为
command: miSaveAs
save dialog: 文档另存为 [文档类型(*.csv)|*.csv] file name: 仪器校准记录 2019; 第2版.csv
> file <folder>/副本乗
info: 文件：<folder>/副本乗.csv 保存成功！
status: 0 (nothing changed)
> open 论文管理明细
node: 文档管理/论文管理明细
params: TV_Name=论文管理明细;Icon=labdoc.ico
  #  名称        文档数
  1  2019年论文  1
  2  2020年论文  0
(2 rows)
> select 2
selected: 2
> run miNew
command: miNew
form: 实验文件属性 - 新增实验文件
  btnSave [button]: 确定(&O)
  btnCancel [button]: 取消(&C)
  edFstAuthor [edit] 第一作者: ""
  edAuthors [edit] 其他作者: ""
* edFileName [edit] 文  件: ""
  btnOpenFile [button]: ...
  mmComment [memo] 描  述: ""
> click btnOpenFile
open dialog: 打开 [所有文件(*.*)|*.*]
> file <folder>/新文件乗.txt
form: 实验文件属性 - 新增实验文件
  btnSave [button]: 确定(&O)
  btnCancel [button]: 取消(&C)
  edFstAuthor [edit] 第一作者: ""
  edAuthors [edit] 其他作者: ""
  edFileName [edit] 文  件: "<folder>/新文件乗.txt"
* btnOpenFile [button]: ...
  mmComment [memo] 描  述: ""
> type mmComment 乗表的说明
focus: mmComment
> click btnSave
form closed: 实验文件属性 - 新增实验文件 (OK)
status: 0 (nothing changed)
  #  名称        文档数
  1  2019年论文  1
  2  2020年论文  1
(2 rows)
> open 论文管理明细/2020年论文
node: 文档管理/论文管理明细/2020年论文
params: TV_ID=5;TV_Name=论文管理明细;Icon=labdoc.ico
  #  ID  文件ID  名称          描述        修改时间
  1  8   8       新文件乗.txt  乗表的说明  <now>
(1 row)
> open 质量管理明细/质量手册
node: 文档管理/质量管理明细/质量手册
params: TV_ID=6;TV_Name=质量管理明细;Icon=labdoc.ico
  #  ID  文件ID  名称                描述                修改时间
  1  6   6       质量手册第三版.txt  质量手册（第三版）  2021-01-05 09:00:00
(1 row)
> select 1
selected: 1
> run 修改文档
command: N2
form: 保存文件到服务器
  text: 保存前请确认已经将打开的本地文件保存并关闭
  BtnSave [button]: 保存
  BtnCancel [button]: 取消
> click BtnSave
form closed: 保存文件到服务器 (OK)
status: 0 (nothing changed)
  #  ID  文件ID  名称                描述                修改时间
  1  6   6       质量手册第三版.txt  质量手册（第三版）  2021-01-05 09:00:00
(1 row)
> quit
)";

}  // namespace console::testing
