// Editing a page of a blank course in the editor page: entering and leaving, the scripts given to
// the editor page when it has loaded, and saving the edited page back to its file.
#include <QFile>
#include <QRegularExpression>

#include "course/course_folder.h"
#include "course/project_file.h"
#include "lang/language_table.h"
#include "platform/browser/browser_control.h"
#include "platform/text/code_page.h"
#include "view/event_log.h"
#include "view/mirova_view.h"

namespace tovra {

namespace {

// The table and save functions given to the editor page, as the program has always sent them (in
// the code page). The engine does not run a script inserted this way, so the editor page defines
// working versions of them itself; the statement is harmless there.
const std::string& EditorSetUpScript() {
    static const std::string script =
        "document.body.insertAdjacentHTML('afterEnd',\"<br><script DEFER>"
        "var rows=null; function getTable() {  Editor.focus();  selectRange();   var pItem=edit.parentElement();  "
        "if(!pItem)   return null;  rows=null;  while(pItem.tagName!='TABLE')  {   if(pItem.tagName=='BODY')    "
        "return;   if(pItem.tagName=='TR')    rows=pItem;   pItem=pItem.parentElement;  }  if(rows==null)   return "
        "null;  return pItem; } function AppendTable() {  var pItem=getTable();  if(pItem)  {   var newRow = "
        "pItem.insertRow(rows.rowIndex+1);   for(c=0;c<rows.cells.length;c++)   {    newCell = newRow.insertCell(c);  "
        "  newCell.innerHTML='\xD0\xC2\xB5\xA5\xD4\xAA';   }  } } function AppendTable0(tx1,tx2) {  var "
        "pItem=getTable();  if(pItem)  {   var newRow = pItem.insertRow(rows.rowIndex+1);   newCell = "
        "newRow.insertCell(0);   newCell.innerHTML=tx1;  newCell.style.backgroundColor=0xffffd2; newCell = "
        "newRow.insertCell(1);   newCell.innerHTML=tx2;  } } function DeleteTable() {  var pItem=getTable();  "
        "if(pItem)   pItem.deleteRow(rows.rowIndex); }"
        "function SaveData(bSave) {   if(bSave)  {   var path=Editor.document.location.toString().substr(8);   "
        "while(path.search('/')>0)    path=path.replace('/','\\');   mypath.value=path;   "
        "mytext.value=Editor.document.body.innerHTML;  }  else   document.title='scmd:save'; }"
        "document.title=Editor.document.title;"
        "</script>\");";
    return script;
}

// A page that says it is UTF-8 is written as UTF-8; any other in the code page, as pages always were.
std::string PageBytes(const QString& html) {
    static const QRegularExpression kUtf8Meta(QStringLiteral("<meta[^>]*charset\\s*=\\s*[\"']?\\s*utf-?8"),
                                              QRegularExpression::CaseInsensitiveOption);
    if (kUtf8Meta.match(html).hasMatch()) return html.toStdString();
    return text::ToCodePage(html.toStdU16String());
}

// No write permission at all (not even for the owner) counts as read-only, for every user.
bool ReadOnlyFile(const QString& path) {
    if (!QFile::exists(path)) return false;
    // The mode bits only: "user" permissions say what this process may do, and root may do all.
    constexpr auto kWrite = QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    return !(QFile::permissions(path) & kWrite);
}

}  // namespace

void CMirovaView::OnEditHtml() {
    if (course_.pageCount == 0 || !course_.IsBlank()) return;
    const std::string page = std::to_string(course_.currentPage) + ".html";
    if (editing_) {
        editing_ = false;
        Navigate("file://" + course_.folder + "/web.files/fullscreen.htm?open=" + page);
        return;
    }
    if (course_.folder.empty()) return;
    editing_ = true;
    Navigate(lang::LanguageFolder() + "/edit/ZonEdit.htm?open=file://" + course_.folder + "/web.files/" + page);
}

void CMirovaView::SetUpEditorPage(const QString& url) {
    if (!url.toLower().contains(QLatin1String("/zonedit.htm"))) return;
    RunScript(EditorSetUpScript());
}

void CMirovaView::OnSaveEdit() {
    if (!editing_) return;
    const std::string target = PageFilePath(course_.folder, course_.currentPage);
    const QString path = QString::fromStdString(target);
    // A save the editor page could not make would write an empty or stale page: nothing is
    // written, and the editor stays with the edit.
    if (!RunScript("SaveEdit();")) {
        ShowMessage(QStringLiteral("Failed Open: ") + path);
        return;
    }
    QString html;
    if (!browser_->ReadField(QStringLiteral("mytext"), html)) {
        // The editor page cannot be reached: nothing is written, and the editor is left.
        OnEditHtml();
        return;
    }
    // Written whole through a temporary file, so a failed save never leaves half a page.
    if (ReadOnlyFile(path) || !WriteFileAtomically(target, PageBytes(html))) {
        ShowMessage(QStringLiteral("Failed Open: ") + path);
        return;
    }
    LogEvent(QStringLiteral("save-page"), path);
    OnEditHtml();
}

}  // namespace tovra
