#include "ui/svg_snapshot.h"

#include <fmt/format.h>

#include <pugixml.hpp>
#include <sstream>

#include "ui/window.h"
#include "util/xml.h"

namespace wnd {

namespace {

constexpr const char* kFontFamily = "Segoe UI, Arial, sans-serif";

int lf_fontSize(Font f) {
    switch (f) {
        case Font::Header:
            return 16;
        case Font::Small:
            return 11;
        default:
            return 13;
    }
}

// XML 1.0 has no place for control characters.
std::string lf_printable(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        out.push_back(static_cast<unsigned char>(c) < 0x20 || c == 0x7f ? '?' : c);
    }
    return out;
}

const char* lf_roleText(ItemRole r) {
    switch (r) {
        case ItemRole::Area:
            return "area";
        case ItemRole::Lamp:
            return "lamp";
        case ItemRole::Label:
            return "label";
        case ItemRole::Header:
            return "header";
        case ItemRole::Status:
            return "status";
        case ItemRole::Parking:
            return "parking";
        case ItemRole::Control:
            return "control";
        default:
            return "other";
    }
}

const char* lf_kindText(ControlKind k) {
    switch (k) {
        case ControlKind::CheckBox:
            return "checkbox";
        case ControlKind::Button:
            return "button";
        case ControlKind::Edit:
            return "edit";
        default:
            return "dropdown";
    }
}

pugi::xml_node lf_rect(pugi::xml_node parent, int x, int y, int w, int h, const std::string& fill,
                       const char* stroke = nullptr) {
    pugi::xml_node r = parent.append_child("rect");
    r.append_attribute("x") = x;
    r.append_attribute("y") = y;
    r.append_attribute("width") = w;
    r.append_attribute("height") = h;
    r.append_attribute("fill") = fill.c_str();
    if (stroke != nullptr) {
        r.append_attribute("stroke") = stroke;
    }
    return r;
}

void lf_text(pugi::xml_node parent, int x, int y, const std::string& text, const std::string& fill,
             Font font, const char* role) {
    pugi::xml_node t = parent.append_child("text");
    t.append_attribute("class") = role;
    // SVG places text by its baseline; the display list by its top, as GDI does.
    t.append_attribute("x") = x;
    t.append_attribute("y") = y + lf_fontSize(font) * 4 / 5;
    t.append_attribute("data-top") = y;
    t.append_attribute("fill") = fill.c_str();
    t.append_attribute("font-family") = kFontFamily;
    t.append_attribute("font-size") = lf_fontSize(font);
    if (font == Font::Header) {
        t.append_attribute("font-weight") = "bold";
    }
    t.text().set(lf_printable(text).c_str());
}

void lf_control(pugi::xml_node svg, const DisplayItem& i) {
    const ControlSpec& c = *i.control;
    const ControlState& s = i.state;
    pugi::xml_node g = svg.append_child("g");
    g.append_attribute("class") = "control";
    g.append_attribute("data-id") = c.id;
    g.append_attribute("data-name") = std::string(c.name).c_str();
    g.append_attribute("data-kind") = lf_kindText(c.kind);
    g.append_attribute("data-enabled") = s.enabled;
    const int w = i.right - i.x;
    const int h = i.bottom - i.y;
    const std::string ink = s.enabled ? "#000000" : "#a0a0a0";
    switch (c.kind) {
        case ControlKind::CheckBox: {
            g.append_attribute("data-checked") = s.checked;
            lf_rect(g, i.x, i.y, w, h, s.enabled ? "#ffffff" : "#f0f0f0", ink.c_str());
            if (s.checked) {
                pugi::xml_node mark = g.append_child("polyline");
                mark.append_attribute("points") = fmt::format("{},{} {},{} {},{}", i.x + 2, i.y + 6,
                                                              i.x + 5, i.y + 9, i.x + 10, i.y + 3)
                                                      .c_str();
                mark.append_attribute("fill") = "none";
                mark.append_attribute("stroke") = ink.c_str();
                mark.append_attribute("stroke-width") = 2;
            }
            break;
        }
        case ControlKind::Button:
            lf_rect(g, i.x, i.y, w, h, "#e1e1e1", s.enabled ? "#0078d7" : "#adadad");
            lf_text(g, i.x + 6, i.y + 4, i.text, ink, Font::Normal, "button-text");
            break;
        case ControlKind::Edit:
            lf_rect(g, i.x, i.y, w, h, gf_colourText(colour::kLightBlue), ink.c_str());
            lf_text(g, i.x + 3, i.y + 2, i.text, ink, Font::Normal, "edit-text");
            break;
        case ControlKind::Dropdown: {
            g.append_attribute("data-selected") = s.selected;
            g.append_attribute("data-entries") = static_cast<unsigned>(s.entries.size());
            lf_rect(g, i.x, i.y, w, h, s.enabled ? "#ffffff" : "#f0f0f0", ink.c_str());
            lf_text(g, i.x + 3, i.y + 4, i.text, ink, Font::Normal, "dropdown-text");
            pugi::xml_node arrow = g.append_child("polygon");
            arrow.append_attribute("points") =
                fmt::format("{},{} {},{} {},{}", i.right - 12, i.y + 8, i.right - 4, i.y + 8,
                            i.right - 8, i.y + 13)
                    .c_str();
            arrow.append_attribute("fill") = ink.c_str();
            break;
        }
    }
}

}  // namespace

std::string gf_colourText(Colour c) {
    return fmt::format("#{:02x}{:02x}{:02x}", c.r, c.g, c.b);
}

namespace {

void lf_build(pugi::xml_document& doc, const DisplayList& list) {
    pugi::xml_node svg = doc.append_child("svg");
    svg.append_attribute("xmlns") = "http://www.w3.org/2000/svg";
    svg.append_attribute("width") = kWindowWidth;
    svg.append_attribute("height") = kWindowHeight;
    svg.append_attribute("viewBox") = fmt::format("0 0 {} {}", kWindowWidth, kWindowHeight).c_str();
    for (const DisplayItem& i : list) {
        switch (i.kind) {
            case DisplayItem::Kind::FillRect: {
                pugi::xml_node r =
                    lf_rect(svg, i.x, i.y, i.right - i.x, i.bottom - i.y, gf_colourText(i.colour));
                r.append_attribute("class") = lf_roleText(i.role);
                if (!i.name.empty()) {
                    r.append_attribute("data-name") = i.name.c_str();
                }
                break;
            }
            case DisplayItem::Kind::Line: {
                pugi::xml_node l = svg.append_child("line");
                l.append_attribute("x1") = i.x;
                l.append_attribute("y1") = i.y;
                l.append_attribute("x2") = i.right;
                l.append_attribute("y2") = i.bottom;
                l.append_attribute("stroke") = gf_colourText(i.colour).c_str();
                break;
            }
            case DisplayItem::Kind::Text:
                lf_text(svg, i.x, i.y, i.text, gf_colourText(i.colour), i.font,
                        lf_roleText(i.role));
                break;
            case DisplayItem::Kind::Control:
                lf_control(svg, i);
                break;
        }
    }
}

}  // namespace

std::string gf_svgFromDisplayList(const DisplayList& list) {
    pugi::xml_document doc;
    lf_build(doc, list);
    std::ostringstream out;
    doc.save(out, "  ", pugi::format_default, pugi::encoding_utf8);
    return out.str();
}

bool gf_writeSvgSnapshot(const DisplayList& list, const std::filesystem::path& file) {
    pugi::xml_document doc;
    lf_build(doc, list);
    return gf_saveXmlDocument(doc, file);
}

}  // namespace wnd
