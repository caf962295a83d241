/*
 * Records of the events-service operations: the subscription requests
 * (Subscribe, Renew, CreatePullPointSubscription, PullMessages) and their
 * results, the event properties, and the notification message with its
 * SimpleItem and ElementItem lists that Notify and PullMessages deliver.
 *
 * Every record is plain data with fixed-size character arrays, zero-filled
 * by its creator; optional members are announced by bits of a leading flag
 * word; texts longer than their field are cut. The list nodes are released
 * with the helpers of onvif/onvif_list.h.
 */
#ifndef ONVIF_TEV_TYPES_H
#define ONVIF_TEV_TYPES_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- items of a message ---------------------------------------------- */

/* tt:SimpleItem: Name and Value attributes. */
typedef struct {
    char name[32];
    char value[100];
} ONVIF_SIMPLE_ITEM;

typedef struct SimpleItemList {
    struct SimpleItemList *next;
    ONVIF_SIMPLE_ITEM SimpleItem;
} SimpleItemList;

/* tt:ElementItem: Name attribute and the XML text of its element (heap). */
typedef struct {
    char name[32];
    char *any; /* null when the item holds no element */
} ONVIF_ELEMENT_ITEM;

typedef struct ElementItemList {
    struct ElementItemList *next;
    ONVIF_ELEMENT_ITEM ElementItem;
} ElementItemList;

/* ---- one notification message ------------------------------------------ */

#define ONVIF_MSG_FLAG_UTC_TIME (1u << 0)           /* UtcTime attribute present */
#define ONVIF_MSG_FLAG_PROPERTY_OPERATION (1u << 1) /* PropertyOperation present */

/* tt:Message: source, key and data, each as SimpleItem and ElementItem lists. */
typedef struct {
    uint32_t flags;             /* ONVIF_MSG_FLAG_* */
    char utc_time[64];          /* UtcTime text as sent */
    int32_t property_operation; /* PropertyOperation enumeration value */
    SimpleItemList *source_simple;
    ElementItemList *source_element;
    SimpleItemList *key_simple;
    ElementItemList *key_element;
    SimpleItemList *data_simple;
    ElementItemList *data_element;
} ONVIF_MESSAGE;

#define ONVIF_NOTIFY_FLAG_SUBSCRIPTION (1u << 0) /* SubscriptionReference present */
#define ONVIF_NOTIFY_FLAG_TOPIC (1u << 1)        /* Topic present (with text) */
#define ONVIF_NOTIFY_FLAG_PRODUCER (1u << 2)     /* ProducerReference present */
#define ONVIF_NOTIFY_FLAG_MESSAGE (1u << 3)      /* Message/tt:Message present */

/* wsnt:NotificationMessage. */
typedef struct {
    uint32_t flags;                   /* ONVIF_NOTIFY_FLAG_* */
    char subscription_reference[256]; /* SubscriptionReference/Address */
    char topic_dialect[256];          /* Topic's Dialect attribute */
    char topic[256];                  /* Topic text, e.g. "tns1:VideoSource/MotionAlarm" */
    char producer_reference[256];     /* ProducerReference/Address */
    ONVIF_MESSAGE message;
} ONVIF_NOTIFICATION_MESSAGE;

typedef struct NotificationMessageList {
    struct NotificationMessageList *next;
    ONVIF_NOTIFICATION_MESSAGE NotificationMessage;
} NotificationMessageList;

/* ---- Subscribe / CreatePullPointSubscription ------------------------------ */

#define ONVIF_SUBSCRIBE_FLAG_TOPIC (1u << 0)       /* topic expression filter */
#define ONVIF_SUBSCRIBE_FLAG_CONTENT (1u << 1)     /* message content filter */
#define ONVIF_SUBSCRIBE_FLAG_TERMINATION (1u << 2) /* InitialTerminationTime */

/* Request of Subscribe (consumer_address required) and of
 * CreatePullPointSubscription (consumer_address unused). */
typedef struct {
    uint32_t flags; /* ONVIF_SUBSCRIBE_FLAG_* */
    char consumer_address[256];
    char topic_dialect[256];    /* Dialect of the TopicExpression */
    char topic_expression[256]; /* e.g. "tns1:VideoSource//." */
    char content_dialect[256];  /* Dialect of the MessageContent */
    char message_content[256];  /* e.g. "boolean(//tt:SimpleItem[@Name=\"State\"])" */
    int32_t termination_time;   /* InitialTerminationTime, seconds ("PT%dS") */
} ONVIF_SUBSCRIBE_REQ;

/* Result of Subscribe and of CreatePullPointSubscription. reference_parameters
 * holds the children of SubscriptionReference/ReferenceParameters as XML
 * (each with the namespace declaration of its own prefix), ready to be sent
 * back in the header of the subscription-manager requests. */
typedef struct {
    char subscription_address[256];
    char reference_parameters[512];
    char current_time[64];     /* CurrentTime text, empty when absent */
    char termination_time[64]; /* TerminationTime text, empty when absent */
} ONVIF_SUBSCRIBE_RES;

/* ---- Renew ------------------------------------------------------------------ */

/* Request of Renew: the new termination time, seconds from now ("PT%dS"). */
typedef struct {
    int32_t termination_time;
} ONVIF_RENEW_REQ;

/* Result of Renew: the device's clock and the new termination time, as sent. */
typedef struct {
    char current_time[64]; /* empty when absent */
    char termination_time[64];
} ONVIF_RENEW_RES;

/* ---- PullMessages ------------------------------------------------------------ */

/* Request of PullMessages. */
typedef struct {
    int32_t timeout;       /* seconds the device may wait for messages ("PT%dS") */
    int32_t message_limit; /* at most this many messages */
} ONVIF_PULL_MESSAGES_REQ;

/* Result of PullMessages: the caller frees messages with
 * onvif_free_NotificationMessages. */
typedef struct {
    char current_time[64];
    char termination_time[64];
    NotificationMessageList *messages;
} ONVIF_PULL_MESSAGES_RES;

/* ---- GetEventProperties ------------------------------------------------------ */

#define ONVIF_EVENT_PROPS_MAX_DIALECTS 4

/* Result of GetEventProperties (the topic set itself is not kept). */
typedef struct {
    char topic_namespace_location[256]; /* the first one */
    int32_t fixed_topic_set;
    int32_t topic_dialect_count;
    char topic_expression_dialect[ONVIF_EVENT_PROPS_MAX_DIALECTS][128];
    int32_t content_dialect_count;
    char message_content_filter_dialect[ONVIF_EVENT_PROPS_MAX_DIALECTS][128];
    char message_content_schema_location[256]; /* the first one */
} ONVIF_EVENT_PROPERTIES;

#ifdef __cplusplus
}
#endif

#endif
