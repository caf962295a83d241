// Descriptor of the hand-made analytics record (tan_types.h).

#include <cstdlib>

#include "onvif/gen/onvif_desc.h" /* its declaration, with the interface mark */
#include "onvif/soap_desc_def.hpp"
#include "onvif/tan_types.h"

namespace
{

// The options element: the first child element, whatever its name, kept as
// XML text and written back unchanged.
int write_options(SOAP_WRITER *w, const void *field, const SOAP_FIELD *)
{
    const char *xml = *static_cast<char *const *>(field);
    return xml ? soap_w_puts(w, xml) : 0;
}

int read_options(XML_NODE *p_parent, void *field, const SOAP_FIELD *, SOAP_READ_CTX *)
{
    XML_NODE *any = p_parent->first_child;
    for (int n = 0; any && any->kind != XML_NODE_ELEMENT && n < 64; n++)
        any = any->next_sibling;
    if (!any || any->kind != XML_NODE_ELEMENT) return 0;
    char *text = soap_xml_copy(any);
    if (!text) return 0;
    char **slot = static_cast<char **>(field);
    free(*slot);
    *slot = text;
    return 1;
}

void release_options(void *field, const SOAP_FIELD *)
{
    char **slot = static_cast<char **>(field);
    free(*slot);
    *slot = nullptr;
}

const SOAP_HOOK kOptionsHook = {write_options, read_options, release_options};

#define R ONVIF_CONFIG_OPTIONS
const SOAP_FIELD kConfigOptionsFields[] = {
    SD_ATTR_TEXT(R, rule_type, "RuleType").opt(SD_BIT(R, flags, 0)),
    SD_TEXT(R, name, NONE, "Name").attr(),
    SD_ATTR_TEXT(R, type, "Type").opt(SD_BIT(R, flags, 1)),
    SD_ATTR_TEXT(R, analytics_module, "AnalyticsModule").opt(SD_BIT(R, flags, 2)),
    SD_INT(R, min_occurs, NONE, "minOccurs").attr().opt(SD_BIT(R, flags, 3)),
    SD_INT(R, max_occurs, NONE, "maxOccurs").attr().opt(SD_BIT(R, flags, 4)),
    sd::hook("any", SOAP_NS_NONE, offsetof(R, any), sizeof(char *), &kOptionsHook)
        .opt(SD_BIT(R, flags, 5)),
};
#undef R

} // namespace

extern "C" {
SD_DEFINE_TYPE(ONVIF_CONFIG_OPTIONS, kConfigOptionsFields);
}
