#include "shell/balloon/MarkupConverter.h"

#include <QRegularExpression>
#include <QStringList>
#include <vector>

namespace {

struct Attribute {
    QString name;
    QString value;
};

// A tag as read from the text: `<name attr=value ...>` or `</name>`.
struct Tag {
    QString name;
    bool closing = false;
    std::vector<Attribute> attributes;

    QString Value(const QString& attribute) const {
        for (const Attribute& candidate : attributes) {
            if (candidate.name == attribute) {
                return candidate.value;
            }
        }
        return {};
    }
};

enum class ValueKind { Number, Color, Name, Alignment };

bool IsValid(const QString& value, ValueKind kind) {
    static const QRegularExpression number(QStringLiteral("^[0-9]{1,4}%?$"));
    static const QRegularExpression color(QStringLiteral("^(#[0-9A-Fa-f]{3,6}|[A-Za-z]{1,20})$"));
    static const QRegularExpression name(QStringLiteral("^[A-Za-z0-9_-]{1,64}$"));
    static const QRegularExpression alignment(QStringLiteral("^(top|middle|bottom)$"));
    switch (kind) {
        case ValueKind::Number:
            return number.match(value).hasMatch();
        case ValueKind::Color:
            return color.match(value).hasMatch();
        case ValueKind::Name:
            return name.match(value).hasMatch();
        case ValueKind::Alignment:
            return alignment.match(value).hasMatch();
    }
    return false;
}

// ` name="value"` when the tag has a valid value for `attribute`, else nothing.
QString CopyAttribute(const Tag& tag, const QString& attribute, ValueKind kind,
                      const QString& as = {}) {
    const QString value = tag.Value(attribute);
    if (value.isEmpty() || !IsValid(value, kind)) {
        return {};
    }
    return QStringLiteral(" %1=\"%2\"").arg(as.isEmpty() ? attribute : as, value);
}

// Reads the tag that starts at `text[start]` ('<'); returns its length, or 0 when the text there
// is not a well-formed tag (then it is shown as text).
int ReadTag(const QString& text, int start, Tag& tag) {
    static const QRegularExpression pattern(QStringLiteral(
        "\\G<(/?)([A-Za-z]+)((?:\\s+[A-Za-z]+(?:\\s*=\\s*(?:\"[^\"<>]*\"|[^\\s\"<>]+))?)*)\\s*/"
        "?>"));
    static const QRegularExpression attributePattern(
        QStringLiteral("([A-Za-z]+)(?:\\s*=\\s*(?:\"([^\"<>]*)\"|([^\\s\"<>]+)))?"));
    const QRegularExpressionMatch match = pattern.match(text, start);
    if (!match.hasMatch()) {
        return 0;
    }
    tag.closing = !match.captured(1).isEmpty();
    tag.name = match.captured(2).toLower();
    auto attributes = attributePattern.globalMatch(match.captured(3));
    while (attributes.hasNext()) {
        const QRegularExpressionMatch attribute = attributes.next();
        const QString value =
            attribute.hasCaptured(2) ? attribute.captured(2) : attribute.captured(3);
        tag.attributes.push_back({attribute.captured(1).toLower(), value});
    }
    return static_cast<int>(match.capturedLength());
}

// The rich text that opens `tag`; empty when the tag is not one we understand.
QString OpenTag(const Tag& tag) {
    const QString& name = tag.name;
    if (name == "br") {
        return QStringLiteral("<br/>");
    }
    if (name == "b" || name == "i" || name == "tr") {
        return "<" + name + ">";
    }
    if (name == "hr") {
        const QString color = tag.Value("color");
        return IsValid(color, ValueKind::Color)
                   ? QStringLiteral("<hr style=\"background-color:%1; color:%1\"/>").arg(color)
                   : QStringLiteral("<hr/>");
    }
    if (name == "font") {
        return "<font" + CopyAttribute(tag, "color", ValueKind::Color) + ">";
    }
    if (name == "table") {
        return "<table" + CopyAttribute(tag, "cellpadding", ValueKind::Number) +
               CopyAttribute(tag, "border", ValueKind::Number) +
               CopyAttribute(tag, "width", ValueKind::Number) + ">";
    }
    if (name == "td") {
        return "<td" + CopyAttribute(tag, "valign", ValueKind::Alignment) +
               CopyAttribute(tag, "colspan", ValueKind::Number) +
               CopyAttribute(tag, "width", ValueKind::Number) + ">";
    }
    if (name == "center" || name == "right") {
        return QStringLiteral("<div align=\"%1\">").arg(name);
    }
    if (name == "icon") {
        const QString id = tag.Value("idres");
        if (!IsValid(id, ValueKind::Number) || id.endsWith('%')) {
            return {};
        }
        return QStringLiteral("<img src=\":/moxel/icons/%1.png\"").arg(id) +
               CopyAttribute(tag, "width", ValueKind::Number) +
               CopyAttribute(tag, "height", ValueKind::Number) + "/>";
    }
    if (name == "a") {
        // A bare <a> is the close button of the balloon's title row.
        if (tag.attributes.empty()) {
            return QStringLiteral("<a href=\"msg:close\">");
        }
        const QString message = tag.Value("msg");
        return tag.attributes.size() == 1 && IsValid(message, ValueKind::Name)
                   ? QStringLiteral("<a href=\"msg:%1\">").arg(message)
                   : QString();
    }
    return {};
}

bool IsVoid(const QString& name) {
    return name == "br" || name == "hr" || name == "icon";
}

QString CloseTag(const QString& name) {
    if (name == "center" || name == "right") {
        return QStringLiteral("</div>");
    }
    return "</" + name + ">";
}

// The length of a kept entity at `text[start]` ('&'), or 0.
int EntityLength(const QString& text, int start) {
    for (const char* entity : {"&lt;", "&gt;", "&amp;", "&quot;"}) {
        const QString candidate = QString::fromLatin1(entity);
        if (QStringView(text).mid(start).startsWith(candidate)) {
            return static_cast<int>(candidate.size());
        }
    }
    return 0;
}

}  // namespace

QString ConvertMarkupToRichText(const QString& markup) {
    const QString text = markup.left(kMaxMarkupLength);
    QString out;
    out.reserve(text.size() * 2);
    // The elements opened and not closed yet, innermost last; closed in order at the end so that
    // an unbalanced text cannot leave a table or a link open around what follows.
    QStringList open;
    int position = 0;
    while (position < text.size()) {
        const QChar c = text[position];
        if (c == '<') {
            Tag tag;
            const int length = ReadTag(text, position, tag);
            if (length > 0 && !tag.closing) {
                const QString converted = OpenTag(tag);
                if (!converted.isEmpty()) {
                    out += converted;
                    if (!IsVoid(tag.name)) {
                        open.append(tag.name);
                    }
                    position += length;
                    continue;
                }
            } else if (length > 0 && open.contains(tag.name)) {
                while (!open.isEmpty()) {
                    const QString name = open.takeLast();
                    out += CloseTag(name);
                    if (name == tag.name) {
                        break;
                    }
                }
                position += length;
                continue;
            } else if (length > 0 && IsVoid(tag.name)) {
                // "</br>" and the like: nothing to close.
                position += length;
                continue;
            }
            out += QStringLiteral("&lt;");
            ++position;
            continue;
        }
        if (c == '&') {
            const int length = EntityLength(text, position);
            out += length > 0 ? text.mid(position, length) : QStringLiteral("&amp;");
            position += length > 0 ? length : 1;
            continue;
        }
        if (c == '>') {
            out += QStringLiteral("&gt;");
        } else if (c == '"') {
            out += QStringLiteral("&quot;");
        } else {
            out += c;
        }
        ++position;
    }
    while (!open.isEmpty()) {
        out += CloseTag(open.takeLast());
    }
    return out;
}
