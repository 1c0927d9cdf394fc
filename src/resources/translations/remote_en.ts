<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>P2PPage</name>
    <message>
        <location filename="../../remote/RemotePages.cpp" line="+377"/>
        <source>Port %1 is listening. Wait for the client to connect.</source>
        <translation>Port %1 is listening. Wait for the client to connect.</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Peer-to-peer connection</source>
        <translation>Peer-to-peer connection</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Back</source>
        <translation>Back</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Lend this PC&apos;s port (B-end)</source>
        <translation>Lend this PC&apos;s port (B-end)</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Connect this PC&apos;s device (C-end)</source>
        <translation>Connect this PC&apos;s device (C-end)</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>DoIP:</source>
        <translation>DoIP:</translation>
    </message>
    <message>
        <location line="+1"/>
        <location line="+2"/>
        <source>Port:</source>
        <translation>Port:</translation>
    </message>
    <message>
        <location line="-1"/>
        <source>Address:</source>
        <translation>Address:</translation>
    </message>
    <message>
        <location line="+2"/>
        <location line="+1"/>
        <source>5000 to 65535</source>
        <translation>5000 to 65535</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Partner&apos;s IP address</source>
        <translation>Partner&apos;s IP address</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Listen</source>
        <translation>Listen</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Close</source>
        <translation>Close</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Connect</source>
        <translation>Connect</translation>
    </message>
</context>
<context>
    <name>Remote</name>
    <message>
        <location filename="../../remote/RemoteCode.cpp" line="+61"/>
        <location filename="../../remote/RemoteController.cpp" line="+312"/>
        <source>Please enter SN</source>
        <translation>Please enter SN</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>The format of the serial number is incorrect!</source>
        <translation>The format of the serial number is incorrect!</translation>
    </message>
    <message>
        <location line="+7"/>
        <source>The format of the verification code is incorrect!</source>
        <translation>The format of the verification code is incorrect!</translation>
    </message>
    <message>
        <location line="+6"/>
        <location filename="../../remote/RemoteController.cpp" line="+113"/>
        <location line="+31"/>
        <source>Ports between 5000 and 65535</source>
        <translation>Ports between 5000 and 65535</translation>
    </message>
    <message>
        <location filename="../../remote/RemoteController.cpp" line="-421"/>
        <source>Remote Off</source>
        <translation>Remote Off</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Remote On</source>
        <translation>Remote On</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Persistent verification code</source>
        <translation>Persistent verification code</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Temporary verification code</source>
        <translation>Temporary verification code</translation>
    </message>
    <message>
        <location line="+1"/>
        <location filename="../../remote/RemoteEngine.cpp" line="+528"/>
        <source>Remote is not supported</source>
        <translation>Remote is not supported</translation>
    </message>
    <message>
        <location line="+269"/>
        <source>Please eject the VCI Device First</source>
        <translation>Please eject the VCI Device First</translation>
    </message>
    <message>
        <location line="+98"/>
        <source>Unable to do C-end in LAN mode</source>
        <translation>Unable to do C-end in LAN mode</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>Unable to do C-end in WiFi mode</source>
        <translation>Unable to do C-end in WiFi mode</translation>
    </message>
    <message>
        <location line="+40"/>
        <source>This PC is B-end and cannot use this function</source>
        <translation>This PC is B-end and cannot use this function</translation>
    </message>
    <message>
        <location line="+89"/>
        <location line="+8"/>
        <source>Copy to clipboard successfully</source>
        <translation>Copy to clipboard successfully</translation>
    </message>
    <message>
        <location line="+104"/>
        <source>Remote server</source>
        <translation>Remote server</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Remote client</source>
        <translation>Remote client</translation>
    </message>
    <message>
        <location filename="../../remote/RemoteEngine.cpp" line="-449"/>
        <location line="+45"/>
        <source>VCI is not online</source>
        <translation>VCI is not online</translation>
    </message>
    <message>
        <location line="-34"/>
        <source>enable netcard failure</source>
        <translation>enable netcard failure</translation>
    </message>
    <message>
        <location line="+16"/>
        <source>connect server timeout</source>
        <translation>connect server timeout</translation>
    </message>
    <message>
        <location line="+8"/>
        <source>connection established successfully</source>
        <translation>connection established successfully</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>The server response timed out</source>
        <translation>The server response timed out</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Failed to connect to the server</source>
        <translation>Failed to connect to the server</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Password error</source>
        <translation>Password error</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>The server is disconnected</source>
        <translation>The server is disconnected</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>The VCI is in a session with another technician</source>
        <translation>The VCI is in a session with another technician</translation>
    </message>
    <message>
        <location line="+20"/>
        <source>Guangzhou</source>
        <translation>Guangzhou</translation>
    </message>
    <message>
        <location line="+94"/>
        <source>Remote verification code not obtained</source>
        <translation>Remote verification code not obtained</translation>
    </message>
    <message>
        <location line="+19"/>
        <source>Connection failed, please try again</source>
        <translation>Connection failed, please try again</translation>
    </message>
    <message>
        <location line="+62"/>
        <source>Successfully modified</source>
        <translation>Successfully modified</translation>
    </message>
    <message>
        <location line="+184"/>
        <source>Remote assistance has been disabled</source>
        <translation>Remote assistance has been disabled</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>LAN verification codes disabled</source>
        <translation>LAN verification codes disabled</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>Verification codes disabled</source>
        <translation>Verification codes disabled</translation>
    </message>
    <message>
        <location filename="../../remote/RemotePages.cpp" line="-326"/>
        <source>DoIP Off</source>
        <translation>DoIP Off</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Standard DoIP</source>
        <translation>Standard DoIP</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>BMW DoIP</source>
        <translation>BMW DoIP</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>MB DoIP</source>
        <translation>MB DoIP</translation>
    </message>
    <message>
        <location filename="../../remote/RemotePro.cpp" line="+1"/>
        <source>Please connect the VCI Device First</source>
        <translation>Please connect the VCI Device First</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Failed to load RemotePro.dll</source>
        <translation>Failed to load RemotePro.dll</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Failed to load passthru</source>
        <translation>Failed to load passthru</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Device control of this device has ended</source>
        <translation>Device control of this device has ended</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Device control ended: this PC&apos;s VCI stopped answering</source>
        <translation>Device control ended: this PC&apos;s VCI stopped answering</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Device control ended: the partner&apos;s VCI stopped answering</source>
        <translation>Device control ended: the partner&apos;s VCI stopped answering</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Device control ended: this PC&apos;s VCI cannot use the selected baud rate</source>
        <translation>Device control ended: this PC&apos;s VCI cannot use the selected baud rate</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Device control ended: the partner&apos;s VCI cannot use the selected baud rate</source>
        <translation>Device control ended: the partner&apos;s VCI cannot use the selected baud rate</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>100 Kbps</source>
        <translation>100 Kbps</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>125 Kbps</source>
        <translation>125 Kbps</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>250 Kbps</source>
        <translation>250 Kbps</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>500 Kbps</source>
        <translation>500 Kbps</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>800 Kbps</source>
        <translation>800 Kbps</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>1000 Kbps</source>
        <translation>1000 Kbps</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>None</source>
        <translation>None</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>1M bps</source>
        <translation>1M bps</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>2M bps</source>
        <translation>2M bps</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>4M bps</source>
        <translation>4M bps</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>5M bps</source>
        <translation>5M bps</translation>
    </message>
</context>
<context>
    <name>RemotePage</name>
    <message>
        <location filename="../../remote/RemoteController.cpp" line="-121"/>
        <location filename="../../remote/RemotePages.cpp" line="+120"/>
        <source>Hide</source>
        <translation>Hide</translation>
    </message>
    <message>
        <location line="+0"/>
        <location filename="../../remote/RemotePages.cpp" line="+0"/>
        <source>Show</source>
        <translation>Show</translation>
    </message>
    <message>
        <location filename="../../remote/RemotePages.cpp" line="-6"/>
        <source>Remote diagnosis</source>
        <translation>Remote diagnosis</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>This PC&apos;s device</source>
        <translation>This PC&apos;s device</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Device SN:</source>
        <translation>Device SN:</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Verification code:</source>
        <translation>Verification code:</translation>
    </message>
    <message>
        <location line="+1"/>
        <location line="+1"/>
        <source>Copy</source>
        <translation>Copy</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Copy serial number</source>
        <translation>Copy serial number</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Copies this PC&apos;s device serial number to the clipboard</source>
        <translation>Copies this PC&apos;s device serial number to the clipboard</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Copy verification code</source>
        <translation>Copy verification code</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Copies the verification code to the clipboard</source>
        <translation>Copies the verification code to the clipboard</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Connect to a partner&apos;s device</source>
        <translation>Connect to a partner&apos;s device</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Partner SN:</source>
        <translation>Partner SN:</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>DoIP:</source>
        <translation>DoIP:</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>16-character serial number</source>
        <translation>16-character serial number</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Connect</source>
        <translation>Connect</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>P2P</source>
        <translation>P2P</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Device control</source>
        <translation>Device control</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Technicians</source>
        <translation>Technicians</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Enter the verification code shown on the partner&apos;s PC</source>
        <translation>Enter the verification code shown on the partner&apos;s PC</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>6 digits</source>
        <translation>6 digits</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Confirm</source>
        <translation>Confirm</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>End device control</source>
        <translation>End device control</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>This device is under device control by %1</source>
        <translation>This device is under device control by %1</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>(frames dropped here/at the partner: %1)</source>
        <translation>(frames dropped here/at the partner: %1)</translation>
    </message>
</context>
<context>
    <name>RemoteProConfig</name>
    <message>
        <location filename="../../remote/RemoteProConfig.cpp" line="+1"/>
        <source>Config Select</source>
        <translation>Config Select</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Pin</source>
        <translation>Pin</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>CAN Baudrate</source>
        <translation>CAN Baudrate</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>CANFD Baudrate</source>
        <translation>CANFD Baudrate</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>CAN baud rate, pins 6 and 14</source>
        <translation>CAN baud rate, pins 6 and 14</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>CAN FD baud rate, pins 6 and 14</source>
        <translation>CAN FD baud rate, pins 6 and 14</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>CAN baud rate, pins 3 and 11</source>
        <translation>CAN baud rate, pins 3 and 11</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>CAN FD baud rate, pins 3 and 11</source>
        <translation>CAN FD baud rate, pins 3 and 11</translation>
    </message>
</context>
<context>
    <name>SessionPage</name>
    <message>
        <location line="+78"/>
        <source>Remote session</source>
        <translation>Remote session</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Role:</source>
        <translation>Role:</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Device number:</source>
        <translation>Device number:</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Start time:</source>
        <translation>Start time:</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Duration:</source>
        <translation>Duration:</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Location:</source>
        <translation>Location:</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Delay:</source>
        <translation>Delay:</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Data:</source>
        <translation>Data:</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Partner:</source>
        <translation>Partner:</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>End remote</source>
        <translation>End remote</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>End the remote session?</source>
        <translation>End the remote session?</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
</context>
</TS>
