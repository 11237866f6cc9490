<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>Application</name>
    <message>
        <source>IDS_PRODUCT_TITLE</source>
        <translation>Quillsprout Chatterquay for Mac</translation>
    </message>
</context>
<context>
    <name>IOSLoadFileRelayThread</name>
    <message>
        <source>IDS_LOADING_IOS_DATABASES</source>
        <translation>Loading SMS from iPhone...</translation>
    </message>
</context>
</TS>
