<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>AccountController</name>
    <message>
        <location filename="../../account/AccountController.cpp" line="+588"/>
        <source>Loading technicians...</source>
        <translation>Loading technicians...</translation>
    </message>
    <message>
        <location line="+18"/>
        <source>Your session has ended. Please sign in again.</source>
        <translation>Your session has ended. Please sign in again.</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>No technicians are listed.</source>
        <translation>No technicians are listed.</translation>
    </message>
    <message>
        <location line="+11"/>
        <source>No technician matches the search.</source>
        <translation>No technician matches the search.</translation>
    </message>
</context>
<context>
    <name>AccountTexts</name>
    <message>
        <location filename="../../account/AccountFlows.cpp" line="+53"/>
        <source>Mobile number format error!</source>
        <translation>Mobile number format error!</translation>
    </message>
    <message>
        <location line="+2"/>
        <location line="+28"/>
        <location line="+46"/>
        <source>Failed to get code!</source>
        <translation>Failed to get code!</translation>
    </message>
    <message>
        <location line="-67"/>
        <source>The mobile phone number or verification code is empty</source>
        <translation>The mobile phone number or verification code is empty</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Login failed, please make sure the verification code is correct</source>
        <translation>Login failed, please make sure the verification code is correct</translation>
    </message>
    <message>
        <location line="+9"/>
        <source>Email Error!</source>
        <translation>Email Error!</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Email has been registered!</source>
        <translation>Email has been registered!</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Email does not exist!</source>
        <translation>Email does not exist!</translation>
    </message>
    <message>
        <location line="+9"/>
        <source>The email address cannot be empty</source>
        <translation>The email address cannot be empty</translation>
    </message>
    <message>
        <location line="+2"/>
        <location line="+46"/>
        <location line="+30"/>
        <source>The verification code cannot be empty</source>
        <translation>The verification code cannot be empty</translation>
    </message>
    <message>
        <location line="-74"/>
        <location line="+46"/>
        <location line="+30"/>
        <source>The password must be at least 6 characters long!</source>
        <translation>The password must be at least 6 characters long!</translation>
    </message>
    <message>
        <location line="-73"/>
        <source>Successful Registration</source>
        <translation>Successful Registration</translation>
    </message>
    <message>
        <location line="+2"/>
        <location line="+46"/>
        <location line="+30"/>
        <source>Network Connection Down!</source>
        <translation>Network Connection Down!</translation>
    </message>
    <message>
        <location line="-74"/>
        <source>Registration Failed!</source>
        <translation>Registration Failed!</translation>
    </message>
    <message>
        <location line="+7"/>
        <source>The email cannot be empty!</source>
        <translation>The email cannot be empty!</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Login failure, email or password is incorrect!</source>
        <translation>Login failure, email or password is incorrect!</translation>
    </message>
    <message>
        <location line="+9"/>
        <source>The email address cannot be empty!</source>
        <translation>The email address cannot be empty!</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Email address error!</source>
        <translation>Email address error!</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>This email is not registered!</source>
        <translation>This email is not registered!</translation>
    </message>
    <message>
        <location line="+9"/>
        <source>The mailbox cannot be empty</source>
        <translation>The mailbox cannot be empty</translation>
    </message>
    <message>
        <location line="+7"/>
        <source>Reset Password Succeeded</source>
        <translation>Reset Password Succeeded</translation>
    </message>
    <message>
        <location line="+4"/>
        <location line="+30"/>
        <source>Invalid verification code or verification code expired!</source>
        <translation>Invalid verification code or verification code expired!</translation>
    </message>
    <message>
        <location line="-16"/>
        <source>Failed to get code!re-enter this interface</source>
        <translation>Failed to get code!re-enter this interface</translation>
    </message>
    <message>
        <location line="+12"/>
        <source>modify Password Succeeded,Please log in again</source>
        <translation>modify Password Succeeded,Please log in again</translation>
    </message>
    <message>
        <location line="+12"/>
        <source>Verification code will be sent to your email address: </source>
        <translation>Verification code will be sent to your email address: </translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Name is empty, please re-enter</source>
        <translation>Name is empty, please re-enter</translation>
    </message>
    <message>
        <location filename="../../account/AdapterRegistration.cpp" line="+12"/>
        <source>Adapter %1: registered %2, warranty until %3, service level %4</source>
        <translation>Adapter %1: registered %2, warranty until %3, service level %4</translation>
    </message>
    <message>
        <location filename="../../account/AccountController.cpp" line="-338"/>
        <source>Login Success</source>
        <translation>Login Success</translation>
    </message>
    <message>
        <source>Too many failed sign-ins. Please try again later.</source>
        <translation>Too many failed sign-ins. Please try again later.</translation>
    </message>
    <message>
        <source>Too many codes requested. Please try again later.</source>
        <translation>Too many codes requested. Please try again later.</translation>
    </message>
</context>
<context>
    <name>ChangePasswordPage</name>
    <message>
        <location filename="../../account/AccountPages.cpp" line="+365"/>
        <source>Change password</source>
        <translation>Change password</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Verification code</source>
        <translation>Verification code</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>New password (at least 6 characters)</source>
        <translation>New password (at least 6 characters)</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Confirm</source>
        <translation>Confirm</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>&lt; Back</source>
        <translation>&lt; Back</translation>
    </message>
</context>
<context>
    <name>CodeFormPage</name>
    <message>
        <location line="-120"/>
        <source>S</source>
        <translation>S</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Get verification code</source>
        <translation>Get verification code</translation>
    </message>
</context>
<context>
    <name>EmailCentrePage</name>
    <message>
        <location line="+72"/>
        <source>User centre</source>
        <translation>User centre</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Change nickname</source>
        <translation>Change nickname</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Change password</source>
        <translation>Change password</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Sign out</source>
        <translation>Sign out</translation>
    </message>
</context>
<context>
    <name>EmailSignInPage</name>
    <message>
        <location line="+88"/>
        <location line="+5"/>
        <source>Sign in</source>
        <translation>Sign in</translation>
    </message>
    <message>
        <location line="-4"/>
        <source>E-mail address</source>
        <translation>E-mail address</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Password</source>
        <translation>Password</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Remember password</source>
        <translation>Remember password</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Sign in automatically</source>
        <translation>Sign in automatically</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Create an account</source>
        <translation>Create an account</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Forgot your password?</source>
        <translation>Forgot your password?</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>&lt; Back</source>
        <translation>&lt; Back</translation>
    </message>
</context>
<context>
    <name>NicknamePage</name>
    <message>
        <location line="-214"/>
        <source>Change nickname</source>
        <translation>Change nickname</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Enter a nickname</source>
        <translation>Enter a nickname</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Confirm</source>
        <translation>Confirm</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>&lt; Back</source>
        <translation>&lt; Back</translation>
    </message>
</context>
<context>
    <name>PhoneCentrePage</name>
    <message>
        <location line="-28"/>
        <source>User centre</source>
        <translation>User centre</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Sign out</source>
        <translation>Sign out</translation>
    </message>
    <message>
        <source>Change nickname</source>
        <translation>Change nickname</translation>
    </message>
</context>
<context>
    <name>PhoneSignInPage</name>
    <message>
        <location line="-39"/>
        <source>Sign in with your phone</source>
        <translation>Sign in with your phone</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Enter phone number</source>
        <translation>Enter phone number</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Enter dynamic password</source>
        <translation>Enter dynamic password</translation>
    </message>
    <message>
        <location line="+2"/>
        <location line="+11"/>
        <source>Get verification code</source>
        <translation>Get verification code</translation>
    </message>
    <message>
        <location line="-10"/>
        <source>Sign in</source>
        <translation>Sign in</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>S</source>
        <translation>S</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>&lt; Back</source>
        <translation>&lt; Back</translation>
    </message>
</context>
<context>
    <name>RegisterPage</name>
    <message>
        <location line="+112"/>
        <source>Create an account</source>
        <translation>Create an account</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>E-mail address</source>
        <translation>E-mail address</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Verification code</source>
        <translation>Verification code</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Password (at least 6 characters)</source>
        <translation>Password (at least 6 characters)</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Get verification code</source>
        <translation>Get verification code</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Register</source>
        <translation>Register</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>&lt; Back to sign in</source>
        <translation>&lt; Back to sign in</translation>
    </message>
</context>
<context>
    <name>ResetPasswordPage</name>
    <message>
        <location line="+13"/>
        <source>Reset your password</source>
        <translation>Reset your password</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>E-mail address</source>
        <translation>E-mail address</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Verification code</source>
        <translation>Verification code</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>New password (at least 6 characters)</source>
        <translation>New password (at least 6 characters)</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Get verification code</source>
        <translation>Get verification code</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Reset password</source>
        <translation>Reset password</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>&lt; Back to sign in</source>
        <translation>&lt; Back to sign in</translation>
    </message>
</context>
<context>
    <name>ServiceVendorPage</name>
    <message>
        <location filename="../../account/ServiceVendor.cpp" line="+151"/>
        <source>Remote technicians</source>
        <translation>Remote technicians</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Phone, name or address</source>
        <translation>Phone, name or address</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Search</source>
        <translation>Search</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>&lt; Back</source>
        <translation>&lt; Back</translation>
    </message>
</context>
</TS>
