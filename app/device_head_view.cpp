#include "app/device_head_view.h"

DeviceHeadView::DeviceHeadView(Qt::Orientation orientation, QWidget *parent)
    : QHeaderView(orientation, parent), box(new QCheckBox(this))
{
    box->setVisible(true);
    connect(box, &QCheckBox::clicked, this, &DeviceHeadView::checked);
}

void DeviceHeadView::updateGeometries()
{
    box->move(sectionPosition(0) + 6, 6);
}
