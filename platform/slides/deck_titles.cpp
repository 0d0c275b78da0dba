#include "platform/slides/deck_titles.h"

#include <cstdlib>
#include <cstring>
#include <set>

#include <pugixml.hpp>

namespace tovra::slides {

namespace {

bool Named(const pugi::xml_node& node, const char* name) { return std::strcmp(node.name(), name) == 0; }

// The text of a paragraph's content: spans nest; text:s is one or text:c spaces.
void AppendInline(const pugi::xml_node& parent, std::string& out) {
    for (pugi::xml_node node : parent.children()) {
        if (node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata) {
            out += node.value();
        } else if (node.type() != pugi::node_element) {
            continue;
        } else if (Named(node, "text:s")) {
            const int count = node.attribute("text:c").as_int(1);
            out.append(count > 0 ? static_cast<size_t>(count) : 1, ' ');
        } else if (Named(node, "text:tab")) {
            out += '\t';
        } else if (Named(node, "text:line-break")) {
            out += '\v';
        } else if (Named(node, "text:note") || Named(node, "office:annotation")) {
            continue;  // not part of the visible title
        } else {
            AppendInline(node, out);
        }
    }
}

// Paragraphs in document order, lists included.
void CollectParagraphs(const pugi::xml_node& parent, std::vector<std::string>& paragraphs) {
    for (pugi::xml_node node : parent.children()) {
        if (node.type() != pugi::node_element) continue;
        if (Named(node, "text:p") || Named(node, "text:h")) {
            std::string text;
            AppendInline(node, text);
            paragraphs.push_back(std::move(text));
        } else {
            CollectParagraphs(node, paragraphs);
        }
    }
}

// The title frame of a page: searched through groups, never inside the speaker notes.
pugi::xml_node FindTitleFrame(const pugi::xml_node& parent) {
    for (pugi::xml_node node : parent.children()) {
        if (node.type() != pugi::node_element || Named(node, "presentation:notes")) continue;
        if (Named(node, "draw:frame") && std::strcmp(node.attribute("presentation:class").value(), "title") == 0) {
            return node;
        }
        if (Named(node, "draw:g")) {
            if (pugi::xml_node found = FindTitleFrame(node)) return found;
        }
    }
    return {};
}

// The drawing-page styles that hide their pages from the show.
std::set<std::string> HiddenPageStyles(const pugi::xml_node& document) {
    std::set<std::string> hidden;
    for (const char* styles : {"office:automatic-styles", "office:styles"}) {
        for (pugi::xml_node style : document.child(styles).children("style:style")) {
            if (std::strcmp(style.attribute("style:family").value(), "drawing-page") != 0) continue;
            const char* visibility =
                style.child("style:drawing-page-properties").attribute("presentation:visibility").value();
            if (std::strcmp(visibility, "hidden") == 0) hidden.insert(style.attribute("style:name").value());
        }
    }
    return hidden;
}

}  // namespace

bool ReadSlideTitles(std::string_view fodp, std::vector<SlideTitle>& slides) {
    slides.clear();
    pugi::xml_document doc;
    // Without parse_ws_pcdata a title's trailing or all-blank runs would vanish.
    const pugi::xml_parse_result parsed =
        doc.load_buffer(fodp.data(), fodp.size(), pugi::parse_default | pugi::parse_ws_pcdata);
    if (!parsed) return false;
    pugi::xml_node presentation = doc.child("office:document").child("office:body").child("office:presentation");
    if (!presentation) return false;
    const std::set<std::string> hiddenStyles = HiddenPageStyles(doc.child("office:document"));
    for (pugi::xml_node page : presentation.children("draw:page")) {
        SlideTitle slide;
        slide.hidden = hiddenStyles.count(page.attribute("draw:style-name").value()) > 0;
        if (pugi::xml_node frame = FindTitleFrame(page)) {
            slide.hasTitle = true;
            // An empty placeholder shows its prompt text in the editor; the slide has no title text.
            if (!frame.attribute("presentation:placeholder").as_bool(false)) {
                std::vector<std::string> paragraphs;
                CollectParagraphs(frame.child("draw:text-box"), paragraphs);
                for (size_t i = 0; i < paragraphs.size(); ++i) {
                    if (i > 0) slide.text += '\r';
                    slide.text += paragraphs[i];
                }
            }
        }
        slides.push_back(std::move(slide));
    }
    return true;
}

}  // namespace tovra::slides
