<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="zh_CN">
<context>
    <name>Alerts</name>
    <message>
        <source>继电器板无应答</source>
        <translation>The relay board does not answer</translation>
    </message>
    <message>
        <source>继电器未跟随</source>
        <translation>Relays do not follow</translation>
    </message>
    <message>
        <source>串口丢失，正在等待</source>
        <translation>The port is lost; waiting for it</translation>
    </message>
    <message>
        <source>记录无法写入</source>
        <translation>The record cannot be written</translation>
    </message>
    <message>
        <source>时钟跳变</source>
        <translation>The clock jumped</translation>
    </message>
    <message>
        <source>远程服务器连接中断</source>
        <translation>The broker&apos;s connection is lost</translation>
    </message>
    <message>
        <source>条目未执行</source>
        <translation>Entries could not act</translation>
    </message>
    <message>
        <source>测试告警：告警能送到这里</source>
        <translation>Test alert: alerts reach this place</translation>
    </message>
    <message>
        <source>：第 %1 路</source>
        <translation>: route %1</translation>
    </message>
    <message>
        <source>（条目 %1）</source>
        <translation> (entries %1)</translation>
    </message>
    <message>
        <source>已恢复：%1</source>
        <translation>Cleared: %1</translation>
    </message>
    <message numerus="yes">
        <source>（其间又发生 %n 次）</source>
        <translation>
            <numerusform> (began %n more time meanwhile)</numerusform>
            <numerusform> (began %n more times meanwhile)</numerusform>
        </translation>
    </message>
    <message>
        <source>串口关闭</source>
        <translation>Port closed</translation>
    </message>
    <message>
        <source>等待串口</source>
        <translation>Waiting for the port</translation>
    </message>
    <message>
        <source>板无应答</source>
        <translation>The board does not answer</translation>
    </message>
    <message>
        <source>板应答</source>
        <translation>The board answers</translation>
    </message>
    <message>
        <source>，下次 %1 第%2路%3</source>
        <translation>, next %1 route %2 %3</translation>
    </message>
    <message>
        <source>吸合</source>
        <translation>on</translation>
    </message>
    <message>
        <source>断开</source>
        <translation>off</translation>
    </message>
</context>
<context>
    <name>AppLogic</name>
    <message>
        <source>未连接</source>
        <translation>Closed</translation>
    </message>
    <message>
        <source>等待串口</source>
        <translation>Waiting</translation>
    </message>
    <message>
        <source>无应答</source>
        <translation>No reply</translation>
    </message>
    <message>
        <source>已连接</source>
        <translation>Online</translation>
    </message>
    <message>
        <source>%1：设备不存在</source>
        <translation>%1: no such device</translation>
    </message>
    <message>
        <source>现有串口设备（tavrel --link-port %1 设备）：</source>
        <translation>Serial devices present (tavrel --link-port %1 DEVICE):</translation>
    </message>
    <message>
        <source>服务器含有无法保存的字符</source>
        <translation>The server has characters the file cannot hold</translation>
    </message>
    <message>
        <source>用户名含有无法保存的字符</source>
        <translation>The user name has characters the file cannot hold</translation>
    </message>
    <message>
        <source>密码含有无法保存的字符</source>
        <translation>The password has characters the file cannot hold</translation>
    </message>
    <message>
        <source>前缀含有无法保存的字符</source>
        <translation>The prefix has characters the file cannot hold</translation>
    </message>
    <message>
        <source>删除当前信息吗？</source>
        <translation>Delete the selected entries?</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>打开</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>时间表已修改，是否保存？</source>
        <translation>The timetable has changed. Save it?</translation>
    </message>
    <message>
        <source>记录无法写入</source>
        <translation>The log cannot be written</translation>
    </message>
    <message>
        <source>记录无法写入：%1</source>
        <translation>The log cannot be written: %1</translation>
    </message>
    <message>
        <source>名称含有无法保存的字符</source>
        <translation>The name has characters the file cannot hold</translation>
    </message>
    <message>
        <source>证书文件含有无法保存的字符</source>
        <translation>The certificate file has characters the file cannot hold</translation>
    </message>
    <message>
        <source>Note.ini 已被其他程序修改</source>
        <translation>Note.ini was changed by another program</translation>
    </message>
    <message>
        <source>已载入新的 Note.ini</source>
        <translation>Loaded the new Note.ini</translation>
    </message>
    <message>
        <source>接收方没有回答：%1</source>
        <translation>The receiver did not answer: %1</translation>
    </message>
    <message>
        <source>接收方回答：%1 %2</source>
        <translation>The receiver answered: %1 %2</translation>
    </message>
    <message>
        <source>Webhook 含有无法保存的字符</source>
        <translation>The webhook holds characters that cannot be saved</translation>
    </message>
    <message>
        <source>Webhook 须是 http:// 或 https:// 地址</source>
        <translation>The webhook must be an http:// or https:// address</translation>
    </message>
    <message>
        <source>上次有未保存的修改，是否恢复？</source>
        <translation>The last run left unsaved changes. Restore them?</translation>
    </message>
    <message>
        <source>%1 未命名</source>
        <translation>No. %1</translation>
    </message>
    <message>
        <source>删除第%1路的全部条目吗？</source>
        <translation>Delete all entries of route %1?</translation>
    </message>
</context>
<context>
    <name>CommandLine</name>
    <message>
        <source>--data 需要一个文件夹</source>
        <translation>--data needs a folder</translation>
    </message>
    <message>
        <source>--lang 应为 zh 或 en：</source>
        <translation>--lang takes zh or en: </translation>
    </message>
    <message>
        <source>选项不能同时使用：</source>
        <translation>options that cannot go together: </translation>
    </message>
    <message>
        <source>--link-port 需要端口号和设备</source>
        <translation>--link-port needs a port number and a device</translation>
    </message>
    <message>
        <source>端口号应为 1 到 20：</source>
        <translation>the port number must be 1 to 20: </translation>
    </message>
    <message>
        <source>未知选项：</source>
        <translation>unknown option: </translation>
    </message>
    <message>
        <source>没有可用的显示（DISPLAY 未设置）：请在桌面中启动，或用 tavrel --headless</source>
        <translation>No display to show the window on (DISPLAY is not set): start Tavrel from a desktop, or use tavrel --headless</translation>
    </message>
    <message>
        <source>没有找到串口设备（ttyUSB*、ttyACM*）</source>
        <translation>No serial devices found (ttyUSB*, ttyACM*)</translation>
    </message>
    <message>
        <source>可以打开</source>
        <translation>may be opened</translation>
    </message>
    <message>
        <source>无权打开（需加入 %1 组）</source>
        <translation>may not be opened (join group %1)</translation>
    </message>
    <message>
        <source>端口号应为 1 到 20</source>
        <translation>the port number must be 1 to 20</translation>
    </message>
    <message>
        <source>%1：设备不存在</source>
        <translation>%1: no such device</translation>
    </message>
    <message>
        <source>%1：不是链接，未改动</source>
        <translation>%1: not a link, left as it is</translation>
    </message>
    <message>
        <source>%1：无法创建链接</source>
        <translation>%1: the link cannot be made</translation>
    </message>
    <message>
        <source>%1：不是字符设备</source>
        <translation>%1: not a character device</translation>
    </message>
    <message>
        <source>%1：不是终端设备</source>
        <translation>%1: not a terminal device</translation>
    </message>
    <message>
        <source>数据文件夹不存在：%1</source>
        <translation>The data folder does not exist: %1</translation>
    </message>
    <message>
        <source>没有设置告警的 Webhook（Name.ini 的 [Alerts] Webhook=）</source>
        <translation>No webhook is set for alerts (Name.ini, [Alerts] Webhook=)</translation>
    </message>
    <message>
        <source>接收方没有回答：%1（%2）</source>
        <translation>The receiver did not answer: %1 (%2)</translation>
    </message>
    <message>
        <source>测试告警已发送到 %1，接收方回答：%2 %3</source>
        <translation>Test alert sent to %1; the receiver answered: %2 %3</translation>
    </message>
    <message>
        <source>用法：tavrel [选项]
按时间表控制十六路串口继电器板。不带选项时显示窗口（在通知区域）。

  --headless              不显示窗口，在后台运行时间表（用于服务）
  --data 文件夹           使用指定的数据文件夹
  --list-ports            列出现有串口设备及能否打开
  --link-port N 设备      让端口 ComN 指向设备（优先用 /dev/serial/by-id/ 名称）
  --lang zh|en            本次以中文或英文显示
  --test-alert            向告警的 Webhook 发送测试消息并显示接收方的回答
  --web-password          从标准输入读取网页的新密码（只保存其散列）
  --version               显示版本
  -h, --help              显示本帮助

数据文件夹（Name.ini、Note.ini、dosdevices/、log/）：</source>
        <translation>Usage: tavrel [OPTION]
Switches a sixteen-output serial relay board on a timetable. Without options it shows its
window (in the notification area).

  --headless              run the timetable without a window (for services)
  --data FOLDER           use FOLDER as the data folder
  --list-ports            list the serial devices present and whether they may be opened
  --link-port N DEVICE    make port ComN lead to DEVICE (its /dev/serial/by-id/ name first)
  --lang zh|en            Chinese or English for this run
  --test-alert            send a test message to the alerts&apos; webhook and show the answer
  --web-password          read the web page&apos;s new password from standard input (keeps its hash)
  --version               show the version
  -h, --help              show this help

Data folder (Name.ini, Note.ini, dosdevices/, log/): </translation>
    </message>
    <message>
        <source>网页的新密码：</source>
        <translation>The page&apos;s new password: </translation>
    </message>
    <message>
        <source>密码不能为空</source>
        <translation>The password must not be empty</translation>
    </message>
    <message>
        <source>保存设置失败：%1</source>
        <translation>Could not save the settings: %1</translation>
    </message>
    <message>
        <source>网页密码已保存到 %1</source>
        <translation>The page&apos;s password was saved to %1</translation>
    </message>
</context>
<context>
    <name>Dialog</name>
    <message>
        <source>添加动作</source>
        <translation>Entry</translation>
    </message>
    <message>
        <source>每天</source>
        <translation>Daily</translation>
    </message>
    <message>
        <source>每星期</source>
        <translation>Weekly</translation>
    </message>
    <message>
        <source>固定日期</source>
        <translation>On date</translation>
    </message>
    <message>
        <source>日</source>
        <translation>7</translation>
    </message>
    <message>
        <source>吸合</source>
        <translation>On</translation>
    </message>
    <message>
        <source>断开</source>
        <translation>Off</translation>
    </message>
    <message>
        <source>时</source>
        <translation>h</translation>
    </message>
    <message>
        <source>分</source>
        <translation>m</translation>
    </message>
    <message>
        <source>秒</source>
        <translation>s</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>最多99条</source>
        <translation>At most 99 entries</translation>
    </message>
    <message>
        <source>日期已过，仍要保存吗？</source>
        <translation>The date has passed. Keep the entry anyway?</translation>
    </message>
    <message>
        <source>添加第%1路的条目</source>
        <translation>Add an entry to route %1</translation>
    </message>
    <message>
        <source>修改第%1路的条目</source>
        <translation>Edit an entry of route %1</translation>
    </message>
    <message>
        <source>每星期至少选择一天</source>
        <translation>Choose at least one day of the week</translation>
    </message>
</context>
<context>
    <name>DownloadCommand</name>
    <message>
        <source>下载失败</source>
        <translation>Download failed</translation>
    </message>
    <message>
        <source>串口已断开</source>
        <translation>The serial port is gone</translation>
    </message>
</context>
<context>
    <name>EntryText</name>
    <message>
        <source>吸合</source>
        <translation>on</translation>
    </message>
    <message>
        <source>断开</source>
        <translation>off</translation>
    </message>
    <message>
        <source>一</source>
        <translation>Mon</translation>
    </message>
    <message>
        <source>二</source>
        <translation>Tue</translation>
    </message>
    <message>
        <source>三</source>
        <translation>Wed</translation>
    </message>
    <message>
        <source>四</source>
        <translation>Thu</translation>
    </message>
    <message>
        <source>五</source>
        <translation>Fri</translation>
    </message>
    <message>
        <source>六</source>
        <translation>Sat</translation>
    </message>
    <message>
        <source>日</source>
        <translation>Sun</translation>
    </message>
    <message>
        <source>第%1路, 每天, %2 ,%3 </source>
        <translation>Route %1, every day, %2, %3</translation>
    </message>
    <message>
        <source>第%1路, 每星期%2， %3 ,%4 </source>
        <translation>Route %1, every %2, %3, %4</translation>
    </message>
    <message>
        <source>第%1路, 固定日期 %2 %3 ,%4 </source>
        <translation>Route %1, on %2, %3, %4</translation>
    </message>
    <message>
        <source>下次：无</source>
        <translation>Next: none</translation>
    </message>
    <message>
        <source>下次：%1 %2</source>
        <translation>Next: %1 %2</translation>
    </message>
    <message>
        <source>%1%2</source>
        <comment>two weekday names in a row</comment>
        <translation>%1 %2</translation>
    </message>
    <message>
        <source>（无效）</source>
        <translation> (invalid)</translation>
    </message>
    <message>
        <source>每天 %1</source>
        <translation>daily %1</translation>
    </message>
    <message>
        <source>每星期%1 %2</source>
        <translation>every %1 %2</translation>
    </message>
    <message>
        <source>固定日期 %1 %2</source>
        <translation>on %1 %2</translation>
    </message>
    <message>
        <source>下次：自动功能未允许</source>
        <translation>Next: timetable off</translation>
    </message>
</context>
<context>
    <name>FileCommands</name>
    <message>
        <source>保存成功！</source>
        <translation>Saved.</translation>
    </message>
    <message>
        <source>保存失败</source>
        <translation>Could not save </translation>
    </message>
    <message>
        <source>文件已另存为</source>
        <translation>Saved as </translation>
    </message>
    <message>
        <source>另存失败</source>
        <translation>Could not save as </translation>
    </message>
    <message>
        <source>打开失败</source>
        <translation>Could not open </translation>
    </message>
    <message>
        <source>%1：%2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>磁盘已满</source>
        <translation>the disk is full</translation>
    </message>
    <message>
        <source>没有写入权限</source>
        <translation>no permission to write</translation>
    </message>
    <message>
        <source>磁盘只读</source>
        <translation>the disk is read-only</translation>
    </message>
    <message>
        <source>不能另存为程序自己的文件</source>
        <translation>Tavrel&apos;s own files cannot be replaced: </translation>
    </message>
    <message>
        <source>是符号链接</source>
        <translation>it is a symbolic link</translation>
    </message>
    <message>
        <source>文件中没有条目</source>
        <translation>The file holds no entries</translation>
    </message>
    <message>
        <source>保存设置失败</source>
        <translation>Could not save the settings</translation>
    </message>
</context>
<context>
    <name>Frmmain</name>
    <message>
        <source>第一路</source>
        <translation>Route 1</translation>
    </message>
    <message>
        <source>第二路</source>
        <translation>Route 2</translation>
    </message>
    <message>
        <source>第三路</source>
        <translation>Route 3</translation>
    </message>
    <message>
        <source>第四路</source>
        <translation>Route 4</translation>
    </message>
    <message>
        <source>第五路</source>
        <translation>Route 5</translation>
    </message>
    <message>
        <source>第六路</source>
        <translation>Route 6</translation>
    </message>
    <message>
        <source>第七路</source>
        <translation>Route 7</translation>
    </message>
    <message>
        <source>第八路</source>
        <translation>Route 8</translation>
    </message>
    <message>
        <source>第九路</source>
        <translation>Route 9</translation>
    </message>
    <message>
        <source>第十路</source>
        <translation>Route 10</translation>
    </message>
    <message>
        <source>第十一路</source>
        <translation>Route 11</translation>
    </message>
    <message>
        <source>第十二路</source>
        <translation>Route 12</translation>
    </message>
    <message>
        <source>第十三路</source>
        <translation>Route 13</translation>
    </message>
    <message>
        <source>第十四路</source>
        <translation>Route 14</translation>
    </message>
    <message>
        <source>第十五路</source>
        <translation>Route 15</translation>
    </message>
    <message>
        <source>第十六路</source>
        <translation>Route 16</translation>
    </message>
    <message>
        <source>PC智能Tavrel</source>
        <translation>Tavrel relay timer</translation>
    </message>
    <message>
        <source>继电器板时间控制程序</source>
        <translation>Relay board timer</translation>
    </message>
    <message>
        <source>串口号</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>自动打开串口</source>
        <translation>Auto open</translation>
    </message>
    <message>
        <source>开机自启动</source>
        <translation>Autostart</translation>
    </message>
    <message>
        <source>地址</source>
        <translation>Addr</translation>
    </message>
    <message>
        <source>状态监视</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>内容</source>
        <translation>Entries</translation>
    </message>
    <message>
        <source>记录</source>
        <translation>Log</translation>
    </message>
    <message>
        <source>远程</source>
        <translation>Net</translation>
    </message>
    <message>
        <source>自动功能允许</source>
        <translation>Timetable on</translation>
    </message>
    <message>
        <source>恢复定时状态</source>
        <translation>Restore</translation>
    </message>
    <message>
        <source>添加</source>
        <translation>Add</translation>
    </message>
    <message>
        <source>删除</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>删除全部</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>手动吸合</source>
        <translation>Switch on</translation>
    </message>
    <message>
        <source>手动断开</source>
        <translation>Switch off</translation>
    </message>
    <message>
        <source>退出</source>
        <translation>Quit</translation>
    </message>
    <message>
        <source>保存</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>另存</source>
        <translation>Save as</translation>
    </message>
    <message>
        <source>下载</source>
        <translation>Download</translation>
    </message>
    <message>
        <source>吸合所有</source>
        <translation>All on</translation>
    </message>
    <message>
        <source>断开所有</source>
        <translation>All off</translation>
    </message>
    <message>
        <source>打开</source>
        <comment>the link</comment>
        <translation>Open</translation>
    </message>
    <message>
        <source>打开</source>
        <comment>an entry file</comment>
        <translation>Load</translation>
    </message>
    <message>
        <source>一周</source>
        <translation>Plan</translation>
    </message>
    <message>
        <source>重命名</source>
        <translation>Rename</translation>
    </message>
    <message>
        <source>串口未打开</source>
        <translation>The serial port is not open</translation>
    </message>
    <message>
        <source>板无应答</source>
        <translation>The board does not answer</translation>
    </message>
    <message>
        <source>最多99条</source>
        <translation>At most 99 entries</translation>
    </message>
</context>
<context>
    <name>Headless</name>
    <message>
        <source>提示：</source>
        <translation>Note: </translation>
    </message>
    <message>
        <source>提示：%1 条消息未能输出</source>
        <translation>Note: %1 messages could not be written</translation>
    </message>
    <message>
        <source>没有 dosdevices 文件夹：Com%1 即 %2</source>
        <translation>No dosdevices folder: Com%1 is %2</translation>
    </message>
</context>
<context>
    <name>LinkControl</name>
    <message>
        <source>设备不存在</source>
        <translation>no such device</translation>
    </message>
    <message>
        <source>没有权限（把用户加入 %1 组后重新登录）</source>
        <translation>no permission (add the user to group %1, then log in again)</translation>
    </message>
    <message>
        <source>没有权限</source>
        <translation>no permission</translation>
    </message>
    <message>
        <source>不是串口设备</source>
        <translation>not a serial device</translation>
    </message>
    <message>
        <source>已被其他程序占用</source>
        <translation>in use by another program</translation>
    </message>
    <message>
        <source>无法打开</source>
        <translation>cannot be opened</translation>
    </message>
    <message>
        <source>串口打开错误
%1：%2</source>
        <translation>The serial port cannot be opened
%1: %2</translation>
    </message>
    <message>
        <source>串口已断开</source>
        <translation>The serial port is gone</translation>
    </message>
</context>
<context>
    <name>Main</name>
    <message>
        <source>另一个 Tavrel 正在使用此文件夹
</source>
        <translation>Another Tavrel is using this folder
</translation>
    </message>
    <message>
        <source>无法创建数据文件夹
</source>
        <translation>Cannot make the data folder
</translation>
    </message>
    <message>
        <source>（tavrel --help 显示用法）</source>
        <translation> (tavrel --help shows the usage)</translation>
    </message>
</context>
<context>
    <name>MqttBridge</name>
    <message>
        <source>远程服务器拒绝登录：</source>
        <translation>The broker refused the login: </translation>
    </message>
    <message>
        <source>远程：已连接</source>
        <translation>MQTT: connected</translation>
    </message>
    <message>
        <source>远程：正在连接</source>
        <translation>MQTT: connecting</translation>
    </message>
    <message>
        <source>远程：正在连接（%1）</source>
        <translation>MQTT: connecting (%1)</translation>
    </message>
    <message>
        <source>远程：关闭</source>
        <translation>MQTT: off</translation>
    </message>
    <message>
        <source>远程：前缀无效</source>
        <translation>MQTT: invalid prefix</translation>
    </message>
    <message>
        <source>远程：前缀被占用（%1）</source>
        <translation>MQTT: prefix in use (%1)</translation>
    </message>
    <message>
        <source>远程：已连接（%1）</source>
        <translation>MQTT: connected (%1)</translation>
    </message>
</context>
<context>
    <name>MqttDialog</name>
    <message>
        <source>远程</source>
        <translation>MQTT</translation>
    </message>
    <message>
        <source>服务器</source>
        <translation>Server</translation>
    </message>
    <message>
        <source>端口</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>用户名</source>
        <translation>User</translation>
    </message>
    <message>
        <source>密码</source>
        <translation>Password</translation>
    </message>
    <message>
        <source>前缀</source>
        <translation>Prefix</translation>
    </message>
    <message>
        <source>Home Assistant 自动发现</source>
        <translation>Home Assistant discovery</translation>
    </message>
    <message>
        <source>服务器留空即关闭远程</source>
        <translation>An empty server turns MQTT off</translation>
    </message>
    <message>
        <source>TLS 加密</source>
        <translation>TLS</translation>
    </message>
    <message>
        <source>证书</source>
        <translation>CA file</translation>
    </message>
    <message>
        <source>系统证书</source>
        <translation>system certificates</translation>
    </message>
    <message>
        <source>发现前缀</source>
        <translation>Discovery</translation>
    </message>
    <message>
        <source>客户端</source>
        <translation>Client ID</translation>
    </message>
    <message>
        <source>前缀无效：不能含有 + 或 #，也不能有空的层级</source>
        <translation>Invalid prefix: no + or #, and no empty level</translation>
    </message>
    <message>
        <source>告警</source>
        <translation>Alerts</translation>
    </message>
    <message>
        <source>Webhook 地址（http:// 或 https://）</source>
        <translation>Webhook address (http:// or https://)</translation>
    </message>
    <message>
        <source>测试</source>
        <translation>Test</translation>
    </message>
    <message>
        <source>正在发送测试消息…</source>
        <translation>Sending a test message…</translation>
    </message>
    <message>
        <source>网页</source>
        <translation>Web page</translation>
    </message>
    <message>
        <source>设置密码…</source>
        <translation>Set password…</translation>
    </message>
    <message>
        <source>已设置密码</source>
        <translation>Password set</translation>
    </message>
    <message>
        <source>未设置密码</source>
        <translation>No password set</translation>
    </message>
    <message>
        <source>网页密码</source>
        <translation>Web page password</translation>
    </message>
    <message>
        <source>新密码：</source>
        <translation>New password:</translation>
    </message>
    <message>
        <source>再输入一次：</source>
        <translation>Once more:</translation>
    </message>
    <message>
        <source>两次输入的密码不同</source>
        <translation>The two passwords differ</translation>
    </message>
</context>
<context>
    <name>Record</name>
    <message>
        <source>吸合</source>
        <translation>On</translation>
    </message>
    <message>
        <source>断开</source>
        <translation>Off</translation>
    </message>
    <message>
        <source>串口打开</source>
        <translation>Port opened</translation>
    </message>
    <message>
        <source>串口关闭</source>
        <translation>Port closed</translation>
    </message>
    <message>
        <source>串口丢失</source>
        <translation>Port lost</translation>
    </message>
    <message>
        <source>串口恢复</source>
        <translation>Port back</translation>
    </message>
    <message>
        <source>板应答</source>
        <translation>Board answers</translation>
    </message>
    <message>
        <source>板无应答</source>
        <translation>Board silent</translation>
    </message>
    <message>
        <source>远程已连接</source>
        <translation>MQTT connected</translation>
    </message>
    <message>
        <source>远程断开</source>
        <translation>MQTT disconnected</translation>
    </message>
    <message>
        <source>远程连接失败</source>
        <translation>MQTT failed</translation>
    </message>
    <message>
        <source>远程消息无效</source>
        <translation>Invalid MQTT message</translation>
    </message>
    <message>
        <source>手动</source>
        <translation>manual</translation>
    </message>
    <message>
        <source>接管</source>
        <translation>take-over</translation>
    </message>
    <message>
        <source>恢复</source>
        <translation>restore</translation>
    </message>
    <message>
        <source>板状态</source>
        <translation>board</translation>
    </message>
    <message>
        <source>远程</source>
        <translation>MQTT</translation>
    </message>
    <message>
        <source>找不到服务器</source>
        <translation>server not found</translation>
    </message>
    <message>
        <source>无法连接</source>
        <translation>cannot connect</translation>
    </message>
    <message>
        <source>连接超时</source>
        <translation>timed out</translation>
    </message>
    <message>
        <source>连接中断</source>
        <translation>connection lost</translation>
    </message>
    <message>
        <source>服务器无响应</source>
        <translation>no response</translation>
    </message>
    <message>
        <source>TLS 连接失败</source>
        <translation>TLS failed</translation>
    </message>
    <message>
        <source>协议版本不被接受</source>
        <translation>protocol version refused</translation>
    </message>
    <message>
        <source>客户端标识被拒绝</source>
        <translation>client id refused</translation>
    </message>
    <message>
        <source>服务器暂不可用</source>
        <translation>server unavailable</translation>
    </message>
    <message>
        <source>用户名或密码错误</source>
        <translation>wrong user name or password</translation>
    </message>
    <message>
        <source>用户名或密码不被接受</source>
        <translation>user name or password not accepted</translation>
    </message>
    <message>
        <source>连接被拒绝</source>
        <translation>connection refused</translation>
    </message>
    <message>
        <source>程序启动</source>
        <translation>Program started</translation>
    </message>
    <message>
        <source>程序退出</source>
        <translation>Program ended</translation>
    </message>
    <message>
        <source>记录中断</source>
        <translation>Log interrupted</translation>
    </message>
    <message>
        <source>记录已满</source>
        <translation>Log full</translation>
    </message>
    <message>
        <source>时钟跳变</source>
        <translation>Clock jumped</translation>
    </message>
    <message>
        <source>输出中断</source>
        <translation>Output interrupted</translation>
    </message>
    <message>
        <source>%1行</source>
        <translation>%1 lines</translation>
    </message>
    <message>
        <source>%1秒</source>
        <translation>%1 s</translation>
    </message>
    <message>
        <source>未执行</source>
        <translation>Not carried out</translation>
    </message>
    <message>
        <source>客户端标识被占用</source>
        <translation>client id in use</translation>
    </message>
    <message>
        <source>证书名称不符</source>
        <translation>certificate name mismatch</translation>
    </message>
    <message>
        <source>证书颁发机构未知</source>
        <translation>unknown certificate authority</translation>
    </message>
    <message>
        <source>服务器不支持 TLS</source>
        <translation>the broker speaks no TLS</translation>
    </message>
    <message>
        <source>时间表更新</source>
        <translation>Timetable updated</translation>
    </message>
    <message>
        <source>设置无效</source>
        <translation>Invalid setting</translation>
    </message>
    <message>
        <source>前缀被占用</source>
        <translation>Prefix in use</translation>
    </message>
    <message>
        <source>无权发布</source>
        <translation>Publishing refused</translation>
    </message>
    <message>
        <source>无权订阅</source>
        <translation>Subscribing refused</translation>
    </message>
    <message>
        <source>前缀无效</source>
        <translation>Invalid prefix</translation>
    </message>
    <message>
        <source>自动允许</source>
        <translation>Timetable allowed</translation>
    </message>
    <message>
        <source>自动禁止</source>
        <translation>Timetable stopped</translation>
    </message>
    <message>
        <source>证书已过期</source>
        <translation>certificate expired</translation>
    </message>
    <message>
        <source>证书文件不存在</source>
        <translation>certificate file missing</translation>
    </message>
    <message>
        <source>服务器要求 TLS</source>
        <translation>the broker requires TLS</translation>
    </message>
    <message>
        <source>告警</source>
        <translation>Alert</translation>
    </message>
    <message>
        <source>告警解除</source>
        <translation>Alert cleared</translation>
    </message>
    <message>
        <source>网页</source>
        <translation>Web page</translation>
    </message>
</context>
<context>
    <name>RecordWindow</name>
    <message>
        <source>记录</source>
        <translation>Log</translation>
    </message>
    <message>
        <source>时间</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>路</source>
        <translation>Route</translation>
    </message>
    <message>
        <source>动作</source>
        <translation>Action</translation>
    </message>
    <message>
        <source>来源</source>
        <translation>Cause</translation>
    </message>
    <message>
        <source>显示全部</source>
        <translation>Show all</translation>
    </message>
    <message>
        <source>已删除的条目 %1</source>
        <translation>deleted entry %1</translation>
    </message>
    <message>
        <source>记录 - 第%1路</source>
        <translation>Record - route %1</translation>
    </message>
</context>
<context>
    <name>RenameDialog</name>
    <message>
        <source>重命名</source>
        <translation>Rename</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>%1/%2 字节</source>
        <translation>%1/%2 bytes</translation>
    </message>
    <message>
        <source>重命名第%1路</source>
        <translation>Rename route %1</translation>
    </message>
</context>
<context>
    <name>SettingsStore</name>
    <message>
        <source>未命名</source>
        <translation>Unnamed</translation>
    </message>
</context>
<context>
    <name>Startup</name>
    <message>
        <source>读取失败</source>
        <translation>Could not read </translation>
    </message>
    <message>
        <source>Name.ini 的值无效，未采用：%1</source>
        <translation>Invalid value in Name.ini, not used: %1</translation>
    </message>
    <message>
        <source>网页：%1://%2:%3/</source>
        <translation>Web page: %1://%2:%3/</translation>
    </message>
    <message>
        <source>网页未启动：没有设置密码（tavrel --web-password）</source>
        <translation>Web page not started: no password set (tavrel --web-password)</translation>
    </message>
    <message>
        <source>网页未启动：证书或密钥无法读取
</source>
        <translation>Web page not started: the certificate or key cannot be read
</translation>
    </message>
    <message>
        <source>网页未启动：无法使用地址 %1 端口 %2</source>
        <translation>Web page not started: cannot use address %1, port %2</translation>
    </message>
    <message>
        <source>网页未加密：密码以明文传输（%1）</source>
        <translation>Web page not encrypted: passwords travel in clear (%1)</translation>
    </message>
</context>
<context>
    <name>Tray</name>
    <message>
        <source>%1(版本 %2)</source>
        <translation>%1 (version %2)</translation>
    </message>
    <message>
        <source>隐藏主窗口</source>
        <translation>Hide window</translation>
    </message>
    <message>
        <source>显示主窗口</source>
        <translation>Show window</translation>
    </message>
    <message>
        <source>记录</source>
        <translation>Log</translation>
    </message>
    <message>
        <source>退出</source>
        <translation>Quit</translation>
    </message>
    <message>
        <source>仍在托盘中运行，定时照常执行</source>
        <translation>Tavrel keeps running in the tray; the timetable goes on</translation>
    </message>
    <message>
        <source>定时已暂停（自动功能未允许）</source>
        <translation>Timetable paused (automatic switching off)</translation>
    </message>
    <message>
        <source>Tavrel 已在此运行，点击图标打开窗口</source>
        <translation>Tavrel is running here; click the icon to open its window</translation>
    </message>
</context>
<context>
    <name>WebServer</name>
    <message>
        <source>请求过大</source>
        <translation>Request too large</translation>
    </message>
    <message>
        <source>没有此页</source>
        <translation>No such page</translation>
    </message>
    <message>
        <source>请先登录</source>
        <translation>Please log in first</translation>
    </message>
    <message>
        <source>请求被拒绝</source>
        <translation>Request refused</translation>
    </message>
    <message>
        <source>尝试次数过多，请 %1 秒后再试</source>
        <translation>Too many attempts; try again in %1 s</translation>
    </message>
    <message>
        <source>密码错误</source>
        <translation>Wrong password</translation>
    </message>
    <message>
        <source>窗口中有未保存的修改</source>
        <translation>The window holds unsaved changes</translation>
    </message>
    <message>
        <source>缺少版本号</source>
        <translation>The revision is missing (If-Match)</translation>
    </message>
    <message>
        <source>条目已被修改，请刷新</source>
        <translation>The entries were changed meanwhile; reload them</translation>
    </message>
    <message>
        <source>没有此条目</source>
        <translation>No such entry</translation>
    </message>
    <message>
        <source>请求无效</source>
        <translation>Invalid request</translation>
    </message>
    <message>
        <source>路号无效</source>
        <translation>Invalid route</translation>
    </message>
    <message>
        <source>重复方式无效</source>
        <translation>Invalid repetition</translation>
    </message>
    <message>
        <source>时间无效</source>
        <translation>Invalid time</translation>
    </message>
    <message>
        <source>日期无效</source>
        <translation>Invalid date</translation>
    </message>
    <message>
        <source>动作无效</source>
        <translation>Invalid action</translation>
    </message>
    <message>
        <source>已删除的条目 %1</source>
        <translation>deleted entry %1</translation>
    </message>
</context>
<context>
    <name>WeekChart</name>
    <message>
        <source>至 %1</source>
        <translation>until %1</translation>
    </message>
    <message>
        <source>%1 至今</source>
        <translation>%1 until now</translation>
    </message>
    <message>
        <source>%1 起</source>
        <translation>from %1</translation>
    </message>
    <message>
        <source>%1 至 %2</source>
        <translation>%1 to %2</translation>
    </message>
    <message>
        <source>已过期：%1</source>
        <translation>Past: %1</translation>
    </message>
    <message>
        <source>同一秒动作冲突（以最后一条为准）：</source>
        <translation>Conflicting entries in one second (the last one wins):</translation>
    </message>
    <message>
        <source>未知</source>
        <translation>unknown</translation>
    </message>
    <message>
        <source>无连接</source>
        <translation>no link</translation>
    </message>
    <message>
        <source>实际：%1</source>
        <translation>Actual: %1</translation>
    </message>
    <message>
        <source>计划：%1</source>
        <translation>Planned: %1</translation>
    </message>
    <message>
        <source>未执行：%1</source>
        <translation>Not carried out: %1</translation>
    </message>
</context>
<context>
    <name>WeekView</name>
    <message>
        <source>一周</source>
        <translation>Week</translation>
    </message>
    <message>
        <source>一天</source>
        <translation>Day</translation>
    </message>
    <message>
        <source>现在</source>
        <translation>Now</translation>
    </message>
    <message>
        <source>计划吸合</source>
        <translation>Planned on</translation>
    </message>
    <message>
        <source>实际吸合</source>
        <translation>Reported on</translation>
    </message>
    <message>
        <source>无连接</source>
        <translation>No link</translation>
    </message>
    <message>
        <source>未知</source>
        <translation>Unknown</translation>
    </message>
    <message>
        <source>冲突</source>
        <translation>Conflict</translation>
    </message>
    <message>
        <source>放大</source>
        <translation>Zoom in</translation>
    </message>
    <message>
        <source>缩小</source>
        <translation>Zoom out</translation>
    </message>
</context>
<context>
    <name>WidgetPrompt</name>
    <message>
        <source>提示</source>
        <translation>Tavrel</translation>
    </message>
    <message>
        <source>ini文件 (*.ini)</source>
        <translation>INI files (*.ini)</translation>
    </message>
    <message>
        <source>文件夹</source>
        <translation>Folder</translation>
    </message>
    <message>
        <source>保存</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>不保存</source>
        <translation>Don&apos;t save</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
</context>
</TS>
