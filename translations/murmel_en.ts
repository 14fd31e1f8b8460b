<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="zh_CN">
<context>
    <name>AddressBookPage</name>
    <message>
        <source>新建</source>
        <translation>New</translation>
    </message>
    <message>
        <source>删除</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>编辑</source>
        <translation>Edit</translation>
    </message>
    <message>
        <source>发送</source>
        <translation>Write Message</translation>
    </message>
    <message>
        <source>按%1排序</source>
        <translation>Sort by %1</translation>
    </message>
</context>
<context>
    <name>LibraryText</name>
    <message>
        <source>录音</source>
        <translation>Record</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>播放</source>
        <translation>Play</translation>
    </message>
    <message>
        <source>请确定保存文件名合法</source>
        <translation>Please check that the file name is valid.</translation>
    </message>
    <message>
        <source>文件可能正在使用中，请稍后再试</source>
        <translation>The file may be in use. Please try again later.</translation>
    </message>
    <message>
        <source>收件人地址似乎有误，请修正</source>
        <translation>The recipient&apos;s address looks wrong. Please correct it.</translation>
    </message>
    <message>
        <source>姓名中不能含有冒号(:)或换行，请修改姓名</source>
        <translation>A name cannot contain a colon (:) or a line break. Please change the name.</translation>
    </message>
    <message>
        <source>邮件地址中不能含有换行，请修改邮件地址</source>
        <translation>An e-mail address cannot contain a line break. Please change the address.</translation>
    </message>
    <message>
        <source>姓名或邮件地址中有无法保存的字符，请修改</source>
        <translation>The name or the e-mail address contains characters that cannot be saved. Please change them.</translation>
    </message>
    <message>
        <source>正在发送......</source>
        <translation>Sending...</translation>
    </message>
    <message>
        <source>正在连接...</source>
        <translation>Connecting...</translation>
    </message>
    <message>
        <source>正在发送语音邮件</source>
        <translation>Sending the voice mail</translation>
    </message>
    <message>
        <source>邮件发送成功</source>
        <translation>Message sent</translation>
    </message>
    <message>
        <source>错误,已断开连接</source>
        <translation>Error: disconnected</translation>
    </message>
    <message>
        <source>设置成功!</source>
        <translation>The server settings have been filled in.</translation>
    </message>
    <message>
        <source>无法识别的Email地址</source>
        <translation>This e-mail address is not recognised.</translation>
    </message>
    <message>
        <source>无自动设置数据,请您手动设置邮件高级选项</source>
        <translation>There are no automatic settings for it. Please enter the advanced account options yourself.</translation>
    </message>
    <message>
        <source>您的姓名</source>
        <translation>Your name</translation>
    </message>
    <message>
        <source>您的邮件地址</source>
        <translation>Your e-mail address</translation>
    </message>
    <message>
        <source>密码</source>
        <translation>Password</translation>
    </message>
    <message>
        <source>SMTP服务器地址</source>
        <translation>SMTP server</translation>
    </message>
    <message>
        <source>帐号</source>
        <translation>Account</translation>
    </message>
    <message>
        <source>端口</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>没有设置</source>
        <translation>Not set</translation>
    </message>
    <message>
        <source>不需要</source>
        <translation>Not required</translation>
    </message>
    <message>
        <source>需要</source>
        <translation>Required</translation>
    </message>
    <message>
        <source>文件已损坏。</source>
        <translation>File is corrupt.</translation>
    </message>
    <message>
        <source>不是语音邮件或录音</source>
        <translation>Not a voice mail or a recording</translation>
    </message>
    <message>
        <source>压缩文件已损坏</source>
        <translation>Compressed file is corrupt</translation>
    </message>
    <message>
        <source>找不到录音设备</source>
        <translation>No wave audio recording device found</translation>
    </message>
    <message>
        <source>服务器不提供加密连接，密码没有发送（如果仍要以不加密的方式发给这台服务器，请在 user.dll 的 &quot;SMTP&quot; 节中设置 &quot;AllowPlainAuth&quot;=&quot;YES&quot;）</source>
        <translation>the server offers no encryption; the password was not sent (to send it unencrypted to this server anyway, set &quot;AllowPlainAuth&quot;=&quot;YES&quot; in section &quot;SMTP&quot; of user.dll)</translation>
    </message>
    <message>
        <source>无法打开文件“%1”。%2</source>
        <translation>Cannot open file &quot;%1&quot;. %2</translation>
    </message>
    <message>
        <source>服务器拒绝：%1</source>
        <translation>The server refused: %1</translation>
    </message>
    <message>
        <source>录音记录 %1 已损坏，没有使用：%2</source>
        <translation>The recording journal %1 is damaged and was ignored: %2</translation>
    </message>
    <message>
        <source>录音记录 %1 所记的录音 %2 已不存在，记录已删除</source>
        <translation>The recording %2 named in the journal %1 no longer exists; the journal was removed.</translation>
    </message>
    <message>
        <source>已保存，但没有背景音乐：%1</source>
        <translation>Saved without its music: %1</translation>
    </message>
    <message>
        <source>背景音乐%1</source>
        <translation>Background music: %1</translation>
    </message>
    <message>
        <source>“%1”中有无法保存的字符，请修改</source>
        <translation>&quot;%1&quot; contains characters that cannot be saved. Please change it.</translation>
    </message>
    <message>
        <source>无法打开邮件程序，邮件没有交出。
(%1)

录制好的语音邮件在 &quot;MyVoice&quot; 文件夹中，可以用其他方式作为附件发送：
%2</source>
        <translation>The mail program could not be opened, so the message was not handed over.
(%1)

Your recorded voice mails are in the &quot;MyVoice&quot; folder; you can attach them to a message some other way:
%2</translation>
    </message>
    <message>
        <source>xdg-email 运行失败</source>
        <translation>xdg-email failed</translation>
    </message>
    <message>
        <source>xdg-email 运行结束，状态为 %1</source>
        <translation>xdg-email exited with status %1</translation>
    </message>
    <message>
        <source>记录的是另一个录音</source>
        <translation>it names another recording</translation>
    </message>
    <message>
        <source>%1：不是普通文件</source>
        <translation>%1: not a regular file</translation>
    </message>
    <message>
        <source>%1：文件太大（%2 字节，最多 %3 字节）</source>
        <translation>%1: file too large (%2 bytes, at most %3)</translation>
    </message>
    <message>
        <source>无法连接声音服务器</source>
        <translation>Connection to the sound server failed</translation>
    </message>
    <message>
        <source>声音服务器没有响应</source>
        <translation>The sound server does not answer</translation>
    </message>
    <message>
        <source>没有声音服务器：%1</source>
        <translation>No sound server: %1</translation>
    </message>
    <message>
        <source>声音服务器已停止：%1 秒没有响应</source>
        <translation>The sound server stopped: no answer for %1 seconds</translation>
    </message>
    <message>
        <source>%1 秒没有收到声音</source>
        <translation>No sound arrived for %1 seconds</translation>
    </message>
    <message>
        <source>附件不存在或无法读取，邮件没有交出：
%1</source>
        <translation>An attachment is missing or cannot be read, so nothing was handed to the mail program:
%1</translation>
    </message>
    <message>
        <source>邮件发送失败：%1</source>
        <translation>Sending failed: %1</translation>
    </message>
    <message>
        <source>“%1”的开头和结尾不能是空格，请修改</source>
        <translation>“%1” cannot begin or end with a space. Please correct it.</translation>
    </message>
    <message>
        <source>%1 已被另一个文件占用，录音已另存为 %2</source>
        <translation>%1 is taken by another file; the recording was saved as %2 instead</translation>
    </message>
    <message>
        <source>%1：已经恢复过了</source>
        <translation>%1: already recovered</translation>
    </message>
    <message>
        <source>%1：另一个程序正在恢复它</source>
        <translation>%1: another program is recovering it</translation>
    </message>
    <message>
        <source>无法剪辑 %1：%2</source>
        <translation>Cannot trim %1: %2</translation>
    </message>
    <message>
        <source>只能剪辑本程序录的录音（RIFF WAVE 中的 MPEG 或 PCM）和语音邮件</source>
        <translation>Only the recorder's own recordings (MPEG or PCM in a RIFF WAVE) and voice mails can be trimmed</translation>
    </message>
</context>
<context>
    <name>MicrophoneBox</name>
    <message>
        <source>%1（未找到）</source>
        <translation>%1 (not found)</translation>
    </message>
    <message>
        <source>系统默认</source>
        <translation>System default</translation>
    </message>
</context>
<context>
    <name>TForm1</name>
    <message>
        <source>语音邮件播放器</source>
        <translation>Voice Mail Player</translation>
    </message>
    <message>
        <source>播放</source>
        <translation>Play</translation>
    </message>
    <message>
        <source>文件</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>显示播放进度</source>
        <translation>Playback progress</translation>
    </message>
    <message>
        <source>00:00.000</source>
        <translation>00:00.000</translation>
    </message>
    <message>
        <source>背景音乐</source>
        <translation>Music</translation>
    </message>
    <message>
        <source>导出</source>
        <translation>Export</translation>
    </message>
    <message>
        <source>导出为 MP3 文件</source>
        <translation>Export as an MP3 file</translation>
    </message>
    <message>
        <source>1×</source>
        <translation>1×</translation>
    </message>
    <message>
        <source>播放速度</source>
        <translation>Playback speed</translation>
    </message>
</context>
<context>
    <name>TFormAbout</name>
    <message>
        <source>奎岚语音电子邮件2.4</source>
        <translation>Kuilan Voice Mail 2.4</translation>
    </message>
    <message>
        <source>版本:   </source>
        <translation>Version:   </translation>
    </message>
    <message>
        <source>2.4.0.0</source>
        <translation>2.4.0.0</translation>
    </message>
    <message>
        <source>日期</source>
        <translation>Date</translation>
    </message>
    <message>
        <source>2004年7月</source>
        <translation>July 2004</translation>
    </message>
    <message>
        <source>网站:  </source>
        <translation>Website:  </translation>
    </message>
    <message>
        <source>服务: </source>
        <translation>Support: </translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>TFormEditAdd</name>
    <message>
        <source>修改地址</source>
        <translation>Edit Address</translation>
    </message>
    <message>
        <source>地址  </source>
        <translation>Address  </translation>
    </message>
    <message>
        <source>&amp;N姓名   </source>
        <translation>&amp;Name   </translation>
    </message>
    <message>
        <source>头像</source>
        <translation>Picture</translation>
    </message>
    <message>
        <source>&amp;E邮件地址    </source>
        <translation>&amp;E-mail address    </translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>TFormMain</name>
    <message>
        <source>奎岚语音电子邮件2.4</source>
        <translation>Kuilan Voice Mail 2.4</translation>
    </message>
    <message>
        <source>新邮件</source>
        <translation>New Message</translation>
    </message>
    <message>
        <source>&amp;R收件人</source>
        <translation>&amp;Recipient</translation>
    </message>
    <message>
        <source>使用其他的邮件程序发送已经录制好的语音邮件</source>
        <translation>Send the recorded voice mail with your mail program</translation>
    </message>
    <message>
        <source>发送</source>
        <translation>Send</translation>
    </message>
    <message>
        <source>&amp;J主 题 </source>
        <translation>Sub&amp;ject </translation>
    </message>
    <message>
        <source>使用本软件直接发送已经录制好的邮件</source>
        <translation>Send the recorded message directly from this program</translation>
    </message>
    <message>
        <source>录音</source>
        <translation>Record</translation>
    </message>
    <message>
        <source>选择音乐</source>
        <translation>Choose Music</translation>
    </message>
    <message>
        <source>背景音乐音量</source>
        <translation>Background music volume</translation>
    </message>
    <message>
        <source>背景音乐</source>
        <translation>Background music</translation>
    </message>
    <message>
        <source>85%</source>
        <translation>85%</translation>
    </message>
    <message>
        <source>频谱</source>
        <translation>Spectrum</translation>
    </message>
    <message>
        <source>00:00.000</source>
        <translation>00:00.000</translation>
    </message>
    <message>
        <source>录音时间</source>
        <translation>Recording time</translation>
    </message>
    <message>
        <source>邮件正文</source>
        <translation>Message text</translation>
    </message>
    <message>
        <source>录音预览</source>
        <translation>Recordings and files to send; double-click to open one</translation>
    </message>
    <message>
        <source>附件</source>
        <translation>Attachments</translation>
    </message>
    <message>
        <source>地址薄</source>
        <translation>Address Book</translation>
    </message>
    <message>
        <source>新建地址</source>
        <translation>New address</translation>
    </message>
    <message>
        <source>删除地址</source>
        <translation>Delete address</translation>
    </message>
    <message>
        <source>编辑地址</source>
        <translation>Edit address</translation>
    </message>
    <message>
        <source>新建邮件</source>
        <translation>Write to this address</translation>
    </message>
    <message>
        <source>姓名</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>电子邮件地址</source>
        <translation>E-mail address</translation>
    </message>
    <message>
        <source>设置(&amp;S)</source>
        <translation>&amp;Settings</translation>
    </message>
    <message>
        <source>帮助(&amp;H)</source>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <source>参数设置(&amp;O)</source>
        <translation>&amp;Options...</translation>
    </message>
    <message>
        <source>邮件服务器的设置，包括POP3 SMTP</source>
        <translation>Mail server settings (POP3, SMTP)</translation>
    </message>
    <message>
        <source>关于(&amp;A)</source>
        <translation>&amp;About</translation>
    </message>
    <message>
        <source>升级检查(&amp;U)</source>
        <translation>Check for &amp;Updates</translation>
    </message>
    <message>
        <source>建议与批评(&amp;G)</source>
        <translation>Send &amp;Feedback</translation>
    </message>
    <message>
        <source>打开(&amp;O)</source>
        <translation>&amp;Open</translation>
    </message>
    <message>
        <source>添加(&amp;A)</source>
        <translation>&amp;Add...</translation>
    </message>
    <message>
        <source>删除(&amp;D)</source>
        <translation>&amp;Delete</translation>
    </message>
    <message>
        <source>另存(&amp;S)</source>
        <translation>&amp;Save As...</translation>
    </message>
    <message>
        <source>请选择Midi文件作为背景音乐</source>
        <translation>Choose a MIDI file as background music</translation>
    </message>
    <message>
        <source>请选择文件作为本邮件的附件</source>
        <translation>Choose a file to attach to this message</translation>
    </message>
    <message>
        <source>欢迎首次使用,请设置您的邮件参数</source>
        <translation>Welcome! Please set up your mail account first.</translation>
    </message>
    <message>
        <source>用邮件程序发送</source>
        <translation>Send with mail program</translation>
    </message>
    <message>
        <source>直接发送</source>
        <translation>Send directly</translation>
    </message>
    <message>
        <source>%1 已经存在。
要替换它吗?</source>
        <translation>%1 already exists.
Do you want to replace it?</translation>
    </message>
    <message>
        <source>找不到设置中选择的麦克风“%1”。</source>
        <translation>The microphone chosen in the settings, “%1”, cannot be found.</translation>
    </message>
    <message>
        <source>它可能已经拔出。可以改用系统默认的麦克风录音，或者在“参数设置”中另选一个。</source>
        <translation>It may have been unplugged. You can record from the system’s default microphone instead, or choose another one in Settings.</translation>
    </message>
    <message>
        <source>用默认麦克风录音(&amp;D)</source>
        <translation>Record with the &amp;default microphone</translation>
    </message>
    <message>
        <source>麦克风“%1”不在，正在用系统默认的麦克风录音</source>
        <translation>Microphone “%1” is not present; recording from the system’s default microphone</translation>
    </message>
    <message>
        <source>没有听到麦克风的声音，请检查麦克风是否插好、是否静音</source>
        <translation>No sound from the microphone; check that it is plugged in and not muted</translation>
    </message>
    <message>
        <source>声音过大，录音已失真，请调低麦克风音量或离远一些</source>
        <translation>The sound is too loud and the recording is distorted; turn the microphone down or move away from it</translation>
    </message>
    <message>
        <source>暂停录音，停下的时间不录进去</source>
        <translation>Pause the recording; the time it is paused is not recorded</translation>
    </message>
    <message>
        <source>暂停录音</source>
        <translation>Pause recording</translation>
    </message>
    <message>
        <source>暂停(&amp;P)</source>
        <translation>Pa&amp;use</translation>
    </message>
    <message>
        <source>录音已暂停，按“继续”接着录音</source>
        <translation>Recording paused; press “Resume” to go on</translation>
    </message>
    <message>
        <source>继续(&amp;P)</source>
        <translation>Res&amp;ume</translation>
    </message>
    <message>
        <source>继续录音</source>
        <translation>Resume recording</translation>
    </message>
    <message>
        <source>接着录在同一段录音里</source>
        <translation>Go on recording in the same recording</translation>
    </message>
    <message>
        <source>剪辑(&amp;T)...</source>
        <translation>&amp;Trim...</translation>
    </message>
</context>
<context>
    <name>TFormNewAdd</name>
    <message>
        <source>新建地址</source>
        <translation>New Address</translation>
    </message>
    <message>
        <source>地址  </source>
        <translation>Address  </translation>
    </message>
    <message>
        <source>&amp;N姓名   </source>
        <translation>&amp;Name   </translation>
    </message>
    <message>
        <source>头像</source>
        <translation>Picture</translation>
    </message>
    <message>
        <source>&amp;E邮件地址    </source>
        <translation>&amp;E-mail address    </translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>TFormRecovery</name>
    <message>
        <source>恢复录音</source>
        <translation>Recover Recordings</translation>
    </message>
    <message>
        <source>上次退出时以下录音没有保存(&amp;L):</source>
        <translation>&amp;These recordings were not saved when the program last ended:</translation>
    </message>
    <message>
        <source>未保存的录音</source>
        <translation>Unsaved recordings</translation>
    </message>
    <message>
        <source>日期</source>
        <translation>Date</translation>
    </message>
    <message>
        <source>长度</source>
        <translation>Length</translation>
    </message>
    <message>
        <source>类型</source>
        <translation>Type</translation>
    </message>
    <message>
        <source>恢复(&amp;R)</source>
        <translation>&amp;Recover</translation>
    </message>
    <message>
        <source>保存选中的录音并加入附件列表</source>
        <translation>Save the selected recordings and add them to the attachments</translation>
    </message>
    <message>
        <source>丢弃(&amp;D)</source>
        <translation>&amp;Discard</translation>
    </message>
    <message>
        <source>删除选中的录音</source>
        <translation>Delete the selected recordings</translation>
    </message>
    <message>
        <source>以后再说(&amp;C)</source>
        <translation>Ask &amp;Later</translation>
    </message>
    <message>
        <source>保留录音,下次启动时再问</source>
        <translation>Keep the recordings and ask again at the next start</translation>
    </message>
    <message>
        <source>语音邮件</source>
        <translation>Voice mail</translation>
    </message>
    <message>
        <source>录音</source>
        <translation>Recording</translation>
    </message>
    <message>
        <source>%1 (无法读取: %2)</source>
        <translation>%1 (unreadable: %2)</translation>
    </message>
    <message>
        <source>保存到</source>
        <translation>Save to</translation>
    </message>
</context>
<context>
    <name>TFormSendMail</name>
    <message>
        <source>正在发送......</source>
        <translation>Sending...</translation>
    </message>
    <message>
        <source>发送进度</source>
        <translation>Sending progress</translation>
    </message>
    <message>
        <source>取消&amp;C</source>
        <translation>&amp;Cancel</translation>
    </message>
    <message>
        <source>失败原因</source>
        <translation>Why sending failed</translation>
    </message>
</context>
<context>
    <name>TFormSetup</name>
    <message>
        <source>参数设置</source>
        <translation>Options</translation>
    </message>
    <message>
        <source>&amp;E邮件发送设置</source>
        <translation>&amp;E-mail Sending</translation>
    </message>
    <message>
        <source>&amp;D使用 OutLook发送邮件</source>
        <translation>Send with your &amp;desktop mail program</translation>
    </message>
    <message>
        <source>&amp;M使用本软件发送</source>
        <translation>Send with this program&apos;s own &amp;mail client</translation>
    </message>
    <message>
        <source>帐号信息</source>
        <translation>Account</translation>
    </message>
    <message>
        <source>&amp;N您的姓名</source>
        <translation>Your &amp;name</translation>
    </message>
    <message>
        <source>&amp;Y您的邮件地址         </source>
        <translation>&amp;Your e-mail address         </translation>
    </message>
    <message>
        <source>&amp;P密码</source>
        <translation>&amp;Password</translation>
    </message>
    <message>
        <source>帐号高级选项</source>
        <translation>Advanced account options</translation>
    </message>
    <message>
        <source>&amp;SMTP服务器地址</source>
        <translation>&amp;SMTP server</translation>
    </message>
    <message>
        <source>&amp;A帐号</source>
        <translation>&amp;Account</translation>
    </message>
    <message>
        <source>&amp;R端口</source>
        <translation>Po&amp;rt</translation>
    </message>
    <message>
        <source>25</source>
        <translation>25</translation>
    </message>
    <message>
        <source>&amp;Z认证</source>
        <translation>A&amp;uthentication</translation>
    </message>
    <message>
        <source>不需要</source>
        <translation>Not required</translation>
    </message>
    <message>
        <source>需要</source>
        <translation>Required</translation>
    </message>
    <message>
        <source>自动设置</source>
        <translation>Auto-Detect</translation>
    </message>
    <message>
        <source>自动设置关于邮件帐号的高级选项</source>
        <translation>Fill in the advanced account options from your e-mail address</translation>
    </message>
    <message>
        <source>&amp;Q录音质量</source>
        <translation>Recording &amp;Quality</translation>
    </message>
    <message>
        <source>录音的时候，可以直接录制为Mp3格式。请您选择录音的质量
。 1 K/S 代表录音的时候，每秒要占用1K的硬盘空间。当然，
占用空间少，录音质量也差，但是易于在邮件中传输。</source>
        <translation>Recordings are made directly in MP3 format. Please choose their quality.
1 K/S means that each second of recording takes 1 KB of disk space: the less
space, the poorer the sound, but the easier the file is to send by e-mail.</translation>
    </message>
    <message>
        <source>1 K/S (话音差，但数据小，适合长时间录音)</source>
        <translation>1 K/S (poor voice quality, but small files; for long recordings)</translation>
    </message>
    <message>
        <source>2 K/S (有很清晰的语音质量，并且数据大小也适合邮件传输)</source>
        <translation>2 K/S (a very clear voice, at a good size for e-mail)</translation>
    </message>
    <message>
        <source>4 K/S (不错的语音质量，但可以录音时间比较短)</source>
        <translation>4 K/S (good voice quality, but shorter recordings)</translation>
    </message>
    <message>
        <source>8 K/S (完美的录音效果,但是文件过于大，不适合邮件传输)</source>
        <translation>8 K/S (perfect sound, but files too large for e-mail)</translation>
    </message>
    <message>
        <source>录音完毕后，自动以当前时间作为文件名，保存在</source>
        <translation>When a recording ends, save it automatically, named by the current time, in</translation>
    </message>
    <message>
        <source>录音文件夹</source>
        <translation>Recordings folder</translation>
    </message>
    <message>
        <source>确定(&amp;O)</source>
        <translation>&amp;OK</translation>
    </message>
    <message>
        <source>取消(&amp;C)</source>
        <translation>&amp;Cancel</translation>
    </message>
    <message>
        <source>&amp;L允许在不加密的连接上发送密码（不安全）</source>
        <translation>A&amp;llow sending the password unencrypted (unsafe)</translation>
    </message>
    <message>
        <source>只在邮件服务器不支持加密时使用：密码将以明文在网络上传输，可能被他人截获</source>
        <translation>Only for a mail server that cannot encrypt: your password would travel over the network as plain text, where others could read it</translation>
    </message>
    <message>
        <source>&amp;I麦克风</source>
        <translation>M&amp;icrophone</translation>
    </message>
    <message>
        <source>录音时使用的麦克风；“系统默认”跟随系统的声音设置</source>
        <translation>The microphone to record from; “System default” follows the system’s sound settings</translation>
    </message>
    <message>
        <source>&amp;V降低噪音，自动调节音量</source>
        <translation>Reduce noise and even out the &amp;volume</translation>
    </message>
    <message>
        <source>录音时去掉持续的背景噪音（风扇、电流声），并把说话声音调到合适的大小</source>
        <translation>While recording, removes steady background noise (fans, hum) and brings the voice to a suitable level</translation>
    </message>
</context>
<context>
    <name>TFormTrim</name>
    <message>
        <source>剪辑录音</source>
        <translation>Trim Recording</translation>
    </message>
    <message>
        <source>录音波形</source>
        <translation>Recording waveform</translation>
    </message>
    <message>
        <source>用鼠标拖动开始和结束标记</source>
        <translation>Drag the start and end marks with the mouse</translation>
    </message>
    <message>
        <source>开始(&amp;B):</source>
        <translation>&amp;Beginning:</translation>
    </message>
    <message>
        <source>方向键移动 10 毫秒，翻页键移动 1 秒</source>
        <translation>Arrow keys move 10 ms, Page Up and Page Down move 1 s</translation>
    </message>
    <message>
        <source>0:00.000</source>
        <translation>0:00.000</translation>
    </message>
    <message>
        <source>试听开始(&amp;1)</source>
        <translation>Listen at start (&amp;1)</translation>
    </message>
    <message>
        <source>播放开始标记前后各两秒</source>
        <translation>Plays two seconds either side of the start mark</translation>
    </message>
    <message>
        <source>结束(&amp;E):</source>
        <translation>&amp;End:</translation>
    </message>
    <message>
        <source>试听结束(&amp;2)</source>
        <translation>Listen at end (&amp;2)</translation>
    </message>
    <message>
        <source>播放结束标记前后各两秒</source>
        <translation>Plays two seconds either side of the end mark</translation>
    </message>
    <message>
        <source>播放选段(&amp;P)</source>
        <translation>&amp;Play selection</translation>
    </message>
    <message>
        <source>另存为新录音(&amp;N)</source>
        <translation>Save as &amp;new recording</translation>
    </message>
    <message>
        <source>在原录音旁保存剪辑后的录音，并加入附件列表</source>
        <translation>Saves the trimmed recording beside the original and adds it to the attachments</translation>
    </message>
    <message>
        <source>替换原录音(&amp;R)</source>
        <translation>&amp;Replace original</translation>
    </message>
    <message>
        <source>原录音移到回收站</source>
        <translation>The original goes to the trash</translation>
    </message>
    <message>
        <source>关闭(&amp;C)</source>
        <translation>&amp;Close</translation>
    </message>
    <message>
        <source>正在读取录音...</source>
        <translation>Reading the recording...</translation>
    </message>
    <message>
        <source>正在保存...</source>
        <translation>Saving...</translation>
    </message>
    <message>
        <source>用剪辑后的录音替换原录音吗？原录音将移到回收站。</source>
        <translation>Replace the original with the trimmed recording? The original goes to the trash.</translation>
    </message>
</context>
<context>
    <name>murmel::TForm1</name>
    <message>
        <source>&lt;a href=&quot;%1&quot;&gt;下载语音邮件录音机&lt;/a&gt;</source>
        <translation>&lt;a href=&quot;%1&quot;&gt;Get the voice mail recorder&lt;/a&gt;</translation>
    </message>
    <message>
        <source>播放速度 %1</source>
        <translation>Playback speed %1</translation>
    </message>
    <message>
        <source>导出为 MP3 文件</source>
        <translation>Export as an MP3 File</translation>
    </message>
    <message>
        <source>正在导出 %1</source>
        <translation>Exporting %1</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>无法打开 %1：%2</source>
        <translation>Cannot open %1: %2</translation>
    </message>
</context>
</TS>
