// Placeholder: the batch IP dialog is being written.
#include "app/batch_edit_ip_dialog.h"
