// The body of a pushed message: the service carries the inner part of a
// "msg" element, percent-encoded UTF-8. The client decodes it into the ANSI
// code page and parses it; notices are an "info" child of that element.
#pragma once

#include "Common/XMLNode.h"
#include "platform/CString.h"

#include <string>

// "%" followed by two hexadecimal digits (either case) becomes that byte,
// "+" a space; every other byte is copied (a "%" without two digits too).
std::string PercentDecode(const std::string& text);
// Wraps the content as "<msg>%s</msg>", percent-decodes it, converts it to
// the ANSI code page and parses it: the "msg" element, or the empty node
// when the text is not XML.
XMLNode ParseMessageBody(const std::string& content);
// The notice of a body: its "info" child whose "cmd" is `cmd` (the empty
// node when there is none or it names another notice).
XMLNode NoticeOf(const XMLNode& body, const char* cmd);
// An attribute of a node as text ("" when missing).
CString AttributeText(const XMLNode& node, const char* name);
// A sender's name from a notice, without "'", "/" and ">", which would
// break the markup it is shown in.
CString CleanNoticeName(CString name);
