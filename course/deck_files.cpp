#include "course/deck_files.h"

#include <fstream>

namespace tovra {

// The player's frames live in "web.files", the one spelling of the folder a case-sensitive file
// system has.
const std::string_view kDeckRedirectPage =
    "<html><head><meta http-equiv=Content-Type content='text/html; charset=gb2312'></head><body><script>"
    "window.location.replace('web.files/index.htm');</script></body></html>";

// Cross-frame access fails in a course opened from disk (every file is its own origin): each
// such step is guarded so that the slide still loads.
const std::string_view kProgramSlideScript =
    "var onoldSize;var countdraw=0;"
    "function LoadSld(){Load_ld();var w=false;try{w=!!top.iswebview;}catch(e){}if(!w)return;"
    "try{top.frames['left'].g_animMainSequence=g_animMainSequence;}catch(e){}"
    "var t=[document,document.body];for(var i=0;i<t.length;i++){if(!t[i])continue;"
    "t[i].oncontextmenu=MyCancelUI;t[i].onclick=MyCancelUI;t[i].ondblclick=MyCancelUI;"
    "t[i].onmousedown=MyCancelUI;t[i].onmouseup=MyCancelUI;"
    "t[i].onkeydown=MyCancelUI;t[i].onkeyup=MyCancelUI;t[i].onkeypress=MyCancelUI;}"
    "var c=document.createElement('img');c.id='escursor';c.src='image/Cursor.gif';c.alt='';"
    "c.style.position='absolute';c.style.top='0px';c.style.left='-100px';c.style.visibility='visible';"
    "c.style.zIndex='1000';document.body.appendChild(c);"
    "onoldSize=window.onresize;window.onresize=MyOn_ParentResize;}"
    "function MyCancelUI(e){e=e||window.event;if(e){e.cancelBubble=true;e.returnValue=false;"
    "if(e.preventDefault)e.preventDefault();}return false;}"
    "function movecusorto(x,y){var s=document.getElementById('SlideObj');var c=document.getElementById('escursor');"
    "if(!s||!c)return;var l=parseFloat(s.style.left)||0,t=parseFloat(s.style.top)||0,"
    "w=parseFloat(s.style.width)||s.offsetWidth,h=parseFloat(s.style.height)||s.offsetHeight;"
    "c.style.left=(l+x*w/720)+'px';c.style.top=(t+y*h/540)+'px';}"
    "function MyOn_ParentResize(){try{if(typeof onoldSize=='function')onoldSize();"
    "var s=document.getElementById('SlideObj');var d=document.getElementsByName('esdraws');"
    "if(!d.length){var one=document.getElementById('esdraws');d=one?[one]:[];}"
    "for(var i=0;i<d.length;i++){var e=d[i].style;e.left=s.style.left;e.top=s.style.top;"
    "e.width=s.style.width;e.height=s.style.height;}}catch(e){}}";

namespace {

constexpr std::string_view kExportStart = "function LoadSld";
constexpr std::string_view kPatchedStart = "function Load_ld";
constexpr std::streamoff kNameByte = 13;  // the "S" of "LoadSld"

}  // namespace

bool WriteDeckRedirectPage(const std::string& path) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(kDeckRedirectPage.data(), static_cast<std::streamsize>(kDeckRedirectPage.size()));
    out.close();
    return static_cast<bool>(out);
}

SlideScriptPatch PatchSlideScript(const std::string& path) {
    // Read and write, no creation, no truncation.
    std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
    if (!file) return SlideScriptPatch::NotExported;
    std::string start(kExportStart.size(), '\0');
    file.read(start.data(), static_cast<std::streamsize>(start.size()));
    if (!file) return SlideScriptPatch::NotExported;
    // A file patched before and not exported again would get a second program script, whose
    // LoadSld would call itself through Load_ld.
    if (start == kPatchedStart) return SlideScriptPatch::AlreadyPatched;
    if (start != kExportStart) return SlideScriptPatch::NotExported;
    file.seekp(kNameByte, std::ios::beg);
    file.put('_');
    file.seekp(0, std::ios::end);
    file.write(kProgramSlideScript.data(), static_cast<std::streamsize>(kProgramSlideScript.size()));
    file.close();
    return file ? SlideScriptPatch::Patched : SlideScriptPatch::NotExported;
}

}  // namespace tovra
