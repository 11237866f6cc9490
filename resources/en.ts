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
<context>
    <name>PasscodeDlg</name>
    <message>
        <source>IDS_TITLE_BACKUP_PASSWORD</source>
        <translation>iTunes Backup Password</translation>
    </message>
    <message>
        <source>IDS_PLEASE_ENTER_PASSWORD_TO_LOAD_BACKUP</source>
        <translation>This iTunes Backup is encrypted. Please enter password:</translation>
    </message>
    <message>
        <source>IDS_ENTER_PASSWORD</source>
        <translation>Enter password</translation>
    </message>
    <message>
        <source>IDS_PWD_IS_NULL</source>
        <translation>Password is required.</translation>
    </message>
    <message>
        <source>IDS_INVALID_PASSWORD</source>
        <translation>Invalid password.</translation>
    </message>
</context>
<context>
    <name>ITunesCacheSMSThread</name>
    <message>
        <source>IDS_LOADING_ITUNES_BACKUP</source>
        <translation>Loading iTunes backup...</translation>
    </message>
    <message>
        <source>IDS_NOT_CONTAIN_SMS_DB_IN_ITUNES_BACKUP</source>
        <translation>Found no message database file in this iTunes backup.</translation>
    </message>
    <message>
        <source>IDS_CACHING_BACKUP_FILE_%1</source>
        <translation>Saving %1...</translation>
    </message>
</context>
<context>
    <name>LoadItunesBackupDlg</name>
    <message>
        <source>IDS_TITLE_LOAD_ITUNES_BACKUP</source>
        <translation>Load iTunes Backup</translation>
    </message>
    <message>
        <source>IDS_SELECT_AN_ITUNES_BACKUP_TO_LOAD</source>
        <translation>Please select an iTunes Backup to load.</translation>
    </message>
    <message>
        <source>IDS_NO_BACKUP_LISTED_THERE_CLICK_&lt;a href=&quot;#&quot;&gt;Here&lt;/a&gt;_ADD</source>
        <translation>Can&apos;t find your iTunes Backup on the list? Please manually import it by clicking &lt;a href=&quot;#&quot;&gt;HERE&lt;/a&gt;.</translation>
    </message>
    <message>
        <source>IDS_LOAD_BK_EXISTS</source>
        <translation>This iTunes Backup has been listed on the left.</translation>
    </message>
    <message>
        <source>IDS_PLEASE_SELECT_ONE_ITUNES_BACKUP</source>
        <translation>Need to select an iTunes Backup to continue.</translation>
    </message>
</context>
<context>
    <name>ExportSMSThread</name>
    <message>
        <source>IDS_EXPORTING_MESSAGES_TO_FILE</source>
        <translation>Exporting SMS...</translation>
    </message>
    <message>
        <source>Messages: %1/%2</source>
        <translation>SMS: %1/%2</translation>
    </message>
    <message>
        <source>IDS_SUC_EXPORT_%1_MMS</source>
        <translation>Successfully exported %1 SMS.</translation>
    </message>
</context>
<context>
    <name>BackupSMSThread</name>
    <message>
        <source>IDS_BACKING_UP_SMS</source>
        <translation>Backing up SMS to Local Database...</translation>
    </message>
    <message>
        <source>IDS_SUC_BACKUP_%1_SMS</source>
        <translation>Successfully Backup %1 SMS to local Database.</translation>
    </message>
</context>
<context>
    <name>SMSPrinter</name>
    <message>
        <source>IDS_PRINT_SMS</source>
        <translation>Print SMS</translation>
    </message>
</context>
<context>
    <name>ItemModelMain</name>
    <message>
        <source>IDS_ROOT_DEVICE</source>
        <translation>Devices</translation>
    </message>
    <message>
        <source>IDS_ROOT_LOCALDB</source>
        <translation>Local Databases</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Messages: %1</source>
        <translation>SMS: %1</translation>
    </message>
    <message>
        <source>Messages: 0</source>
        <translation>SMS: 0</translation>
    </message>
    <message>
        <source>IDS_CAN_NOT_FOUND_AND_MESSAGES</source>
        <translation>Can&apos;t find any SMS.</translation>
    </message>
    <message>
        <source>IDS_CAN_NOT_FOUNDSMS_KEYWORD_%0</source>
        <translation>Find no SMS with keyword %1.</translation>
    </message>
    <message>
        <source>IDS_CAN_NOT_FOUNDCONTACT_KEYWORD_%0</source>
        <translation>Find no contact with keyword %1.</translation>
    </message>
    <message>
        <source>IDS_SEL_EXPORT_MESSAGES_PATH</source>
        <translation>Please select Save Path for SMS.</translation>
    </message>
    <message>
        <source>IDS_SUC_CLEAR_CACHE</source>
        <translation>Successfully cleared cache files.</translation>
    </message>
    <message>
        <source>IDS_CLEAR_CACHE_INCOMPLETE_%1</source>
        <translation>Some cache files could not be deleted:
%1</translation>
    </message>
</context>
<context>
    <name>AboutUsForm</name>
    <message>
        <source>关于</source>
        <translation>About</translation>
    </message>
</context>
<context>
    <name>DataSourceSelForm</name>
    <message>
        <source>IDS_TITLE_SELECT_IPHONE</source>
        <translation>Select iPhone</translation>
    </message>
    <message>
        <source>IDS_TITLE_SELECT_ONE_DEVICE_TO_TRANSFER</source>
        <translation>Please select a Device.</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>Confirm</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>IDS_PLEASE_SELECT_ONE_DATASOURCE</source>
        <translation>Need to select a Device to continue.</translation>
    </message>
</context>
<context>
    <name>LocalDbSelForm</name>
    <message>
        <source>选择要备份到哪个数据库</source>
        <translation>Select one Database for backup</translation>
    </message>
    <message>
        <source>选择或输入新的数据库名称:</source>
        <translation>Select current database to merge or enter a new database name:</translation>
    </message>
    <message>
        <source>选择现有的数据库会将短信息附加到里面,输入新的名字会创建新的本地数据库.</source>
        <translation>Selecting current Database will merge messages;entering new DB name will create a new Database.</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>Confirm</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>IDS_PLEASE_SELECT_DATABASE_OR_INPUT_NEW_NAME</source>
        <translation>Select one Database or enter a new Database name</translation>
    </message>
    <message>
        <source>IDS_INVALID_LOCALDB_NAME</source>
        <translation>Invalid Local Database name(can't contain \ / : * ? &quot; &lt; &gt; |).</translation>
    </message>
</context>
<context>
    <name>CountrySelForm</name>
    <message>
        <source>IDS_SEL_YOUR_PHONE_COUNTRY</source>
        <translation>Select your country code:</translation>
    </message>
    <message>
        <source>IDS_CANT_CONTINUE_WITHOUT_SEL_ONE_COUNTRY</source>
        <translation>Please select a cuntry code first to continue.</translation>
    </message>
    <message>
        <source>IDS_CONFIRM_SEL_COUNTRY_%1</source>
        <translation>Confirm to select %1?</translation>
    </message>
</context>
<context>
    <name>IOS6RestoreMessagesThread</name>
    <message>
        <source>IDS_MERGING_IOS6_MESSAGES</source>
        <translation>Saving SMS to iPhone...</translation>
    </message>
    <message>
        <source>IDS_NO_VALID_MESSAGE_RESTORE_TO_IOS_%1_UNKNOWN_CHAT_MSG</source>
        <translation>No message for recovering. Only found %1 messages with unknown contact info. Please right click the messages to set contact info first and try again.</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>IDS_SUC_RESTORE_%1_MESSAGES_TO_IOS</source>
        <translation>Successfully recovered %1 SMS to iPhone.</translation>
    </message>
</context>
<context>
    <name>DeleteMessagesThread</name>
    <message>
        <source>IDS_DELETING_LOCAL_DB_MESSAGES</source>
        <translation>Deleting SMS...</translation>
    </message>
    <message>
        <source>IDS_SUC_DELETE_%1_MESSAGES</source>
        <translation>Successfully Deleted %1 SMS.</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>IDS_CONFIRM_DEL_SEL_MESSAGES</source>
        <translation>Confirm to delete the selected SMS?</translation>
    </message>
    <message>
        <source>IDS_CONFIRM_DEL_THIS_CHAT</source>
        <translation>Confirm to delete SMS with this contact?</translation>
    </message>
    <message>
        <source>IDS_CONFIRM_DEL_THIS_LOCALDB</source>
        <translation>Confirm to delete this Database?</translation>
    </message>
    <message>
        <source>IDS_DEL_LOCALDB_SUC</source>
        <translation>Successfully Deleted Database %0.</translation>
    </message>
</context>
<context>
    <name>LocalDbUpdateThread</name>
    <message>
        <source>IDS_UPDATING_LOCALDB_%1</source>
        <translation>Updating local database &apos;%1&apos;...</translation>
    </message>
    <message>
        <source>IDS_LOCALDB_UPDATE_SUC_RESTART_REFRESH</source>
        <translation>Successfully updated local database. Please restart software.</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>IDS_SEL_ONE_IOS_DEVICE</source>
        <translation>Please select an iPhone:</translation>
    </message>
    <message>
        <source>IDS_RESTORE_IOS_TIPS_FIND_MY_IPHONE_MUST_OFF</source>
        <translation>Notes:&lt;br/&gt;
1) If your iPhone is protected with a passcode, please enter your passcode on iPhone first.&lt;br/&gt;
2) Please make sure you&apos;ve turned off &quot;iCloud Backup&quot; on your iPhone.&lt;br/&gt;
3) &quot;Find My iPhone&quot; must be disabled before restoring. Check &lt;a href=&quot;%1&quot;&gt;detail&lt;/a&gt;.</translation>
    </message>
</context>
</TS>
