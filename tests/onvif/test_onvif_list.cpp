// Result lists: append order, release, counting, and the device record's
// release with its list heads.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "onvif/onvif_calls.h"
#include "onvif/onvif_list.h"

TEST(OnvifList, NetworkInterfacesAppendInOrderAndFreeToNull)
{
    NetworkInterfaceList *head = nullptr;
    for (int i = 0; i < 3; i++) {
        NetworkInterfaceList *node = onvif_add_NetworkInterface(&head);
        ASSERT_NE(node, nullptr);
        // Zero-filled, appended at the tail.
        EXPECT_EQ(node->next, nullptr);
        EXPECT_EQ(node->NetworkInterface.flags, 0u);
        EXPECT_STREQ(node->NetworkInterface.token, "");
        node->NetworkInterface.mtu = 100 + i;
    }
    ASSERT_EQ(onvif_list_count(head, 100), 3);
    int expect = 100;
    for (NetworkInterfaceList *n = head; n; n = n->next)
        EXPECT_EQ(n->NetworkInterface.mtu, expect++);
    EXPECT_EQ(onvif_list_count(head, 2), 2); // the walk is bounded

    onvif_free_NetworkInterfaces(&head);
    EXPECT_EQ(head, nullptr);
    onvif_free_NetworkInterfaces(&head); // empty list: harmless
    onvif_free_NetworkInterfaces(nullptr);
    EXPECT_EQ(onvif_add_NetworkInterface(nullptr), nullptr);
    EXPECT_EQ(onvif_list_count(nullptr, 10), 0);
}

TEST(OnvifList, FreeDeviceIsSafeOnEmptyAndNullRecords)
{
    onvif_free_device(nullptr);
    std::unique_ptr<ONVIF_DEVICE> dev(new ONVIF_DEVICE);
    memset(dev.get(), 0, sizeof(ONVIF_DEVICE));
    onvif_free_device(dev.get());
    onvif_free_device(dev.get()); // twice: nothing left to free
}
