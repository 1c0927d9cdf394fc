<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>HttpUtils</name>
    <message>
        <location filename="../../drivers/HttpUtils.cpp" line="+248"/>
        <source>UnknownError</source>
        <translation>Unknown error</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>CannotConnectServerRetryTip</source>
        <translation>Can not connect to server, please check network connection</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>ServerError</source>
        <translation>Server error</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>RequestFailedRetryTip</source>
        <translation>Request failed, try again later</translation>
    </message>
</context>
</TS>
