// Placeholder: the batch IP dialog is being written.
#ifndef APP_BATCH_EDIT_IP_DIALOG_H
#define APP_BATCH_EDIT_IP_DIALOG_H
#endif
