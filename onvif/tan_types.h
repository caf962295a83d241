/*
 * Hand-made record of the analytics service: the options of one rule or
 * analytics-module parameter (GetRuleOptions, GetAnalyticsModuleOptions).
 *
 * The options themselves are one element of any name and namespace
 * (tt:IntRange, tt:StringItems, a vendor's own options element ...). They
 * are kept as that element's XML text, standing on its own (it carries the
 * namespace declarations it uses), so that nothing a device offers is lost.
 * Nodes are released with onvif_free_ConfigOptions, which frees the text.
 */
#ifndef ONVIF_TAN_TYPES_H
#define ONVIF_TAN_TYPES_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define ONVIF_CONFIG_OPTIONS_HAS_RULE_TYPE (1u << 0)
#define ONVIF_CONFIG_OPTIONS_HAS_TYPE (1u << 1)
#define ONVIF_CONFIG_OPTIONS_HAS_ANALYTICS_MODULE (1u << 2)
#define ONVIF_CONFIG_OPTIONS_HAS_MIN_OCCURS (1u << 3)
#define ONVIF_CONFIG_OPTIONS_HAS_MAX_OCCURS (1u << 4)
#define ONVIF_CONFIG_OPTIONS_HAS_ANY (1u << 5)

/* tan:ConfigOptions. */
typedef struct {
    uint32_t flags;     /* ONVIF_CONFIG_OPTIONS_HAS_* */
    char rule_type[64]; /* RuleType: the rule the options belong to (QName) */
    char name[256];     /* Name of the parameter (item description) */
    char type[64];      /* Type (deprecated by the schema; QName) */
    char analytics_module[64];
    int32_t min_occurs; /* absent: 1 */
    int32_t max_occurs; /* absent: 1 */
    char *any;          /* the options element as XML text (heap), null when none */
} ONVIF_CONFIG_OPTIONS;

typedef struct ConfigOptionsList {
    struct ConfigOptionsList *next;
    ONVIF_CONFIG_OPTIONS ConfigOptions;
} ConfigOptionsList;

#ifdef __cplusplus
}
#endif

#endif
