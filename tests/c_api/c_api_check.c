/* Compiled as strict C99: every public header must parse as C and link. */
#include "all_headers.h"

#include <stdio.h>
#include <string.h>

int main(void)
{
    char buf[64];
    char text[] = "<a x=\"1\"><b>t</b></a>";
    XML_NODE *root;

    if (log_get_level() != LOG_ERROR) return 1;
    base64_encode((const uint8_t *)"abc", 3, buf, sizeof(buf));
    if (strcmp(buf, "YWJj") != 0) return 2;
    root = xxx_hxml_parse(text, (int)strlen(text));
    if (!root || !xml_node_soap_get(root, "b")) return 3;
    xml_node_del(root);
    printf("c api ok\n");
    return 0;
}
