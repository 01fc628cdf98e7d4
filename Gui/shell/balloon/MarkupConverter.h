#pragma once

#include <QString>

// Turns the balloons' small mark-up into Qt rich text. Only these tags are understood: br, b, i,
// hr (color), font (color), table (cellpadding, border, width), tr, td (valign, colspan, width),
// center, right, icon (idres, width, height; shown as the resource image
// ":/moxel/icons/<idres>.png") and a (msg, which becomes the link "msg:<name>"; an a without msg
// becomes "msg:close"). The entities &lt; &gt; &amp; and &quot; are kept. Everything else
// (unknown tags, tags without their closing ">", stray closing tags, attributes outside the list
// or with unexpected values) is shown as text, so that a text from the network can neither run
// anything nor break the layout. Input longer than kMaxMarkupLength is cut there.
// Pure function; any thread.
QString ConvertMarkupToRichText(const QString& markup);

// Mark-up longer than this is cut before conversion (a balloon cannot show more anyway).
constexpr int kMaxMarkupLength = 16 * 1024;

// The scheme of the links the converter makes: "msg:<name>".
constexpr const char* kMessageLinkScheme = "msg:";
