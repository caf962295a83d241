<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>About</name>
    <message>
        <source>Dialog</source>
        <translation>Dialog</translation>
    </message>
    <message>
        <source>关于</source>
        <translation>About</translation>
    </message>
    <message>
        <source>版本:V0.0.1</source>
        <translation>Version: V0.0.1</translation>
    </message>
    <message>
        <source>构建日期:</source>
        <translation>Build date: </translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>AddAddressDialog</name>
    <message>
        <source>按地址添加</source>
        <translation>Add by address</translation>
    </message>
    <message>
        <source>其他网段的摄像机收不到组播搜索。请输入它们的地址:一个地址、用逗号分隔的地址列表、CIDR网段(如 192.168.2.0/24)或地址范围(如 192.168.2.10-50),最多 %1 个地址。</source>
        <translation>Multicast search does not reach cameras on other subnets. Enter their addresses: one address, a comma-separated list, a CIDR block (such as 192.168.2.0/24) or a range (such as 192.168.2.10-50), at most %1 addresses.</translation>
    </message>
    <message>
        <source>搜索</source>
        <translation>Search</translation>
    </message>
    <message>
        <source>忘记这些地址</source>
        <translation>Forget these addresses</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>已记住 %1 个地址,下次启动时再次搜索。</source>
        <translation>%1 addresses remembered, searched again at the next start.</translation>
    </message>
    <message>
        <source>正在搜索 %1 个地址…</source>
        <translation>Searching %1 addresses…</translation>
    </message>
    <message>
        <source>搜索结束:%1 个地址有摄像机应答。</source>
        <translation>Search finished: cameras answered at %1 addresses.</translation>
    </message>
</context>
<context>
    <name>AddressRange</name>
    <message>
        <source>不能超过 %1 个地址。</source>
        <translation>At most %1 addresses.</translation>
    </message>
    <message>
        <source>请输入IP地址、地址列表或地址范围。</source>
        <translation>Enter an IP address, a list of addresses or a range.</translation>
    </message>
    <message>
        <source>无法识别的地址:%1</source>
        <translation>Not an address: %1</translation>
    </message>
    <message>
        <source>地址范围的结束地址小于起始地址:%1</source>
        <translation>The range ends before it starts: %1</translation>
    </message>
</context>
<context>
    <name>BatchEditIP</name>
    <message>
        <source>Dialog</source>
        <translation>Dialog</translation>
    </message>
    <message>
        <source>批量修改IP地址</source>
        <translation>Change IP addresses</translation>
    </message>
    <message>
        <source>自动获取IP</source>
        <translation>DHCP</translation>
    </message>
    <message>
        <source>起始IP地址:</source>
        <translation>Start IP address:</translation>
    </message>
    <message>
        <source>掩码:</source>
        <translation>Subnet mask:</translation>
    </message>
    <message>
        <source>网关:</source>
        <translation>Gateway:</translation>
    </message>
    <message>
        <source>首选DNS:</source>
        <translation>Preferred DNS:</translation>
    </message>
    <message>
        <source>备用DNS:</source>
        <translation>Alternate DNS:</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>BatchEditIpDialog</name>
    <message>
        <source>Tips</source>
        <translation>Tips</translation>
    </message>
    <message>
        <source>Invalid start IP Address.</source>
        <translation>Invalid start IP Address.</translation>
    </message>
    <message>
        <source>Invalid Subnet mask.</source>
        <translation>Invalid Subnet mask.</translation>
    </message>
    <message>
        <source>Invalid gateway.</source>
        <translation>Invalid gateway.</translation>
    </message>
</context>
<context>
    <name>BatchIpJob</name>
    <message>
        <source>DHCP on, confirmed</source>
        <translation>DHCP on, confirmed</translation>
    </message>
    <message>
        <source>changed to %1, confirmed</source>
        <translation>changed to %1, confirmed</translation>
    </message>
    <message>
        <source>DHCP on, </source>
        <translation>DHCP on, </translation>
    </message>
    <message>
        <source>changed to %1, </source>
        <translation>changed to %1, </translation>
    </message>
    <message>
        <source> (not seen again in time)</source>
        <translation> (not seen again in time)</translation>
    </message>
    <message>
        <source>failed: %1</source>
        <translation>failed: %1</translation>
    </message>
    <message>
        <source>skipped: %1</source>
        <translation>skipped: %1</translation>
    </message>
    <message>
        <source>get network interface info fail</source>
        <translation>get network interface info fail</translation>
    </message>
    <message>
        <source>gateway settings failed</source>
        <translation>gateway settings failed</translation>
    </message>
    <message>
        <source>DNS settings failed</source>
        <translation>DNS settings failed</translation>
    </message>
    <message>
        <source>IP settings failed</source>
        <translation>IP settings failed</translation>
    </message>
    <message>
        <source>set dhcp for device fail</source>
        <translation>set dhcp for device fail</translation>
    </message>
    <message>
        <source>no address left after 255.255.255.255</source>
        <translation>no address left after 255.255.255.255</translation>
    </message>
    <message>
        <source>cancelled</source>
        <translation>cancelled</translation>
    </message>
</context>
<context>
    <name>CredentialStore</name>
    <message>
        <source>Passwords are kept in memory only, until the tool is closed: the desktop&apos;s secret store is not available (%1).</source>
        <translation>Passwords are kept in memory only, until the tool is closed: the desktop&apos;s secret store is not available (%1).</translation>
    </message>
    <message>
        <source>Passwords are kept in the desktop&apos;s secret store.</source>
        <translation>Passwords are kept in the desktop&apos;s secret store.</translation>
    </message>
</context>
<context>
    <name>CredentialsDialog</name>
    <message>
        <source>Credentials…</source>
        <translation>Credentials…</translation>
    </message>
    <message>
        <source>User name and password for all cameras</source>
        <translation>User name and password for all cameras</translation>
    </message>
    <message>
        <source>User name and password for the camera %1 only</source>
        <translation>User name and password for the camera %1 only</translation>
    </message>
    <message>
        <source>User name:</source>
        <translation>User name:</translation>
    </message>
    <message>
        <source>Password:</source>
        <translation>Password:</translation>
    </message>
    <message>
        <source>remember</source>
        <translation>remember</translation>
    </message>
    <message>
        <source>Keep the passwords in the desktop&apos;s secret store</source>
        <translation>Keep the passwords in the desktop&apos;s secret store</translation>
    </message>
    <message>
        <source>Use the common credentials</source>
        <translation>Use the common credentials</translation>
    </message>
    <message>
        <source>User name and password may have at most %1 bytes each.</source>
        <translation>User name and password may have at most %1 bytes each.</translation>
    </message>
    <message>
        <source>A password needs a user name.</source>
        <translation>A password needs a user name.</translation>
    </message>
    <message>
        <source>Tips</source>
        <translation>Tips</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>DeviceDetails</name>
    <message>
        <source>是</source>
        <translation>yes</translation>
    </message>
    <message>
        <source>否</source>
        <translation>no</translation>
    </message>
    <message>
        <source>需要认证</source>
        <translation>Credentials required</translation>
    </message>
    <message>
        <source>无法连接</source>
        <translation>no connection</translation>
    </message>
    <message>
        <source>应答超时</source>
        <translation>no answer in time</translation>
    </message>
    <message>
        <source>设备拒绝</source>
        <translation>refused by the device</translation>
    </message>
    <message>
        <source>设备拒绝(%1)</source>
        <translation>refused by the device (%1)</translation>
    </message>
    <message>
        <source>应答无效(%1)</source>
        <translation>invalid answer (%1)</translation>
    </message>
    <message>
        <source>未能读取:%1</source>
        <translation>Not read: %1</translation>
    </message>
    <message>
        <source>设备信息</source>
        <translation>Device information</translation>
    </message>
    <message>
        <source>厂商</source>
        <translation>Manufacturer</translation>
    </message>
    <message>
        <source>型号</source>
        <translation>Model</translation>
    </message>
    <message>
        <source>版本号</source>
        <translation>Firmware</translation>
    </message>
    <message>
        <source>序列号</source>
        <translation>Serial number</translation>
    </message>
    <message>
        <source>硬件ID</source>
        <translation>Hardware ID</translation>
    </message>
    <message>
        <source>主机名</source>
        <translation>Host name</translation>
    </message>
    <message>
        <source>网络接口</source>
        <translation>Network interfaces</translation>
    </message>
    <message>
        <source>设备没有列出网络接口</source>
        <translation>The device lists no network interface</translation>
    </message>
    <message>
        <source>来自DHCP</source>
        <translation>From DHCP</translation>
    </message>
    <message>
        <source>服务器</source>
        <translation>Server</translation>
    </message>
    <message>
        <source>搜索域</source>
        <translation>Search domain</translation>
    </message>
    <message>
        <source>网关</source>
        <translation>Gateway</translation>
    </message>
    <message>
        <source>未设置</source>
        <translation>not set</translation>
    </message>
    <message>
        <source>时间与时区</source>
        <translation>Time and time zone</translation>
    </message>
    <message>
        <source>设置方式</source>
        <translation>Set by</translation>
    </message>
    <message>
        <source>UTC时间</source>
        <translation>UTC time</translation>
    </message>
    <message>
        <source>本地时间</source>
        <translation>Local time</translation>
    </message>
    <message>
        <source>时区</source>
        <translation>Time zone</translation>
    </message>
    <message>
        <source>夏令时</source>
        <translation>Daylight saving</translation>
    </message>
    <message>
        <source>服务</source>
        <translation>Services</translation>
    </message>
    <message>
        <source>版本未能读取:%1</source>
        <translation>Versions not read: %1</translation>
    </message>
    <message>
        <source>范围</source>
        <translation>Scopes</translation>
    </message>
    <message>
        <source>可配置</source>
        <translation>configurable</translation>
    </message>
    <message>
        <source>固定</source>
        <translation>fixed</translation>
    </message>
    <message>
        <source>媒体配置</source>
        <translation>Media profiles</translation>
    </message>
    <message>
        <source>设备没有媒体服务</source>
        <translation>The device has no media service</translation>
    </message>
    <message>
        <source>媒体服务未应答:%1</source>
        <translation>The media service did not answer: %1</translation>
    </message>
    <message>
        <source>设备没有媒体配置</source>
        <translation>The device has no media profile</translation>
    </message>
</context>
<context>
    <name>DeviceDetailsDialog</name>
    <message>
        <source>设备详情</source>
        <translation>Device details</translation>
    </message>
    <message>
        <source>复制</source>
        <translation>Copy</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>正在读取…</source>
        <translation>Reading…</translation>
    </message>
</context>
<context>
    <name>DeviceTableModel</name>
    <message>
        <source>序列号</source>
        <translation>Serial number</translation>
    </message>
    <message>
        <source>设备名称</source>
        <translation>Device name</translation>
    </message>
    <message>
        <source>产品形态</source>
        <translation>Product form</translation>
    </message>
    <message>
        <source>型号</source>
        <translation>Model</translation>
    </message>
    <message>
        <source>版本号</source>
        <translation>Firmware</translation>
    </message>
    <message>
        <source>升级状态</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>等待升级</source>
        <translation>Waiting to upgrade</translation>
    </message>
    <message>
        <source>正在升级</source>
        <translation>Upgrading</translation>
    </message>
    <message>
        <source>等待确认</source>
        <translation>Waiting for confirmation</translation>
    </message>
    <message>
        <source>升级成功</source>
        <translation>Upgraded</translation>
    </message>
    <message>
        <source>升级未确认</source>
        <translation>Upgrade not confirmed</translation>
    </message>
    <message>
        <source>升级失败</source>
        <translation>Upgrade failed</translation>
    </message>
    <message>
        <source>等待修改</source>
        <translation>Waiting to change</translation>
    </message>
    <message>
        <source>正在修改</source>
        <translation>Changing</translation>
    </message>
    <message>
        <source>修改成功</source>
        <translation>Changed</translation>
    </message>
    <message>
        <source>未确认</source>
        <translation>Not confirmed</translation>
    </message>
    <message>
        <source>修改失败</source>
        <translation>Change failed</translation>
    </message>
    <message>
        <source>已跳过</source>
        <translation>Skipped</translation>
    </message>
    <message>
        <source>需要认证</source>
        <translation>Credentials required</translation>
    </message>
    <message>
        <source>球机</source>
        <translation>Dome</translation>
    </message>
    <message>
        <source>枪机</source>
        <translation>Bullet</translation>
    </message>
    <message>
        <source>录像机</source>
        <translation>Recorder</translation>
    </message>
</context>
<context>
    <name>ExportJob</name>
    <message>
        <source>设备服务地址</source>
        <translation>Device service address</translation>
    </message>
</context>
<context>
    <name>UpgradeDeviceWidget</name>
    <message>
        <source>Form</source>
        <translation>Form</translation>
    </message>
    <message>
        <source>搜索</source>
        <translation>Search</translation>
    </message>
    <message>
        <source>按地址添加…</source>
        <translation>Add by address…</translation>
    </message>
    <message>
        <source>升级</source>
        <translation>Upgrade</translation>
    </message>
    <message>
        <source>修改IP</source>
        <translation>Change IP</translation>
    </message>
    <message>
        <source>导出…</source>
        <translation>Export…</translation>
    </message>
    <message>
        <source>凭据…</source>
        <translation>Credentials…</translation>
    </message>
    <message>
        <source>关于</source>
        <translation>About</translation>
    </message>
    <message>
        <source>IP / 序列号 / 型号 / 版本号</source>
        <translation>IP / serial / model / firmware</translation>
    </message>
    <message>
        <source>Stopping after the camera under way…</source>
        <translation>Stopping after the camera under way…</translation>
    </message>
    <message>
        <source>Changing camera %1 of %2: %3</source>
        <translation>Changing camera %1 of %2: %3</translation>
    </message>
    <message>
        <source>Waiting for the cameras to answer at their new addresses…</source>
        <translation>Waiting for the cameras to answer at their new addresses…</translation>
    </message>
    <message>
        <source>%1 changed and confirmed, %2 changed but not confirmed, %3 failed, %4 skipped.</source>
        <translation>%1 changed and confirmed, %2 changed but not confirmed, %3 failed, %4 skipped.</translation>
    </message>
    <message>
        <source>… and %1 more</source>
        <translation>… and %1 more</translation>
    </message>
    <message>
        <source>导出</source>
        <translation>Export</translation>
    </message>
    <message>
        <source>导出哪些摄像机?</source>
        <translation>Which cameras to export?</translation>
    </message>
    <message>
        <source>勾选的 %1 台</source>
        <translation>The %1 checked</translation>
    </message>
    <message>
        <source>全部 %1 台</source>
        <translation>All %1</translation>
    </message>
    <message>
        <source>CSV 文件 (*.csv)</source>
        <translation>CSV files (*.csv)</translation>
    </message>
    <message>
        <source>已导出 %1 台摄像机。</source>
        <translation>Exported %1 cameras.</translation>
    </message>
    <message>
        <source>导出失败:%1</source>
        <translation>Export failed: %1</translation>
    </message>
    <message>
        <source>正在导出…</source>
        <translation>Exporting…</translation>
    </message>
    <message>
        <source>设备详情…</source>
        <translation>Details…</translation>
    </message>
    <message>
        <source>通过ONVIF升级…</source>
        <translation>Upgrade through ONVIF…</translation>
    </message>
    <message>
        <source>用ONVIF设备服务升级已勾选的摄像机(没有勾选时升级这一台)</source>
        <translation>Upgrade the checked cameras (or this one when none is checked) through the ONVIF device service</translation>
    </message>
    <message>
        <source>选择升级文件</source>
        <translation>Choose the firmware file</translation>
    </message>
    <message>
        <source>File(*.bin);;All files(*.*)</source>
        <translation>Firmware (*.bin);;All files (*.*)</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
</context>
</TS>
