// Options by XPath: the one option element an XPath selects in an options document, and the values
// each kind of option takes.
#pragma once

#include <pugixml.hpp>
#include <string>
#include <vector>

#include "svregistration/export.h"
#include "svregistration/workspace/options_document.h"

namespace svregistration::workspace {

/// The one option element `xpath` selects in `options`: an element with a VALUE attribute, or one
/// without child elements. Raises Error 76 when it selects nothing, and Error 5 when the XPath is
/// not valid or selects several elements, an attribute, text, or a page that holds other options;
/// each names the XPath (and the document or the element).
SVREG_API pugi::xml_node SelectOption(OptionsDocument& options, const std::string& xpath);

/// The choices of a LIST: the NAMEs of its CASE children. The workspace's computer encoding is
/// chosen from the list in `global` (the global options document) when that has one.
SVREG_API std::vector<std::string> OptionChoices(const pugi::xml_node& list,
                                                 OptionsDocument& global);

/// Sets the VALUE of `option` (a SelectOption result) once it takes `value`: a BOOL true or false,
/// a LIST one of OptionChoices (any value when it offers none), any other element anything. A
/// value refused is Error 5 naming the option, what it takes and the value; the option is then
/// unchanged. The document is not saved.
SVREG_API void SetOptionValue(pugi::xml_node option, const std::string& value,
                              OptionsDocument& global);

/// An option element as a message names it: `<BOOL ID="ExpandTabs">`.
SVREG_API std::string DescribeOption(const pugi::xml_node& option);

}  // namespace svregistration::workspace
