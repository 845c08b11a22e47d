<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>CCalendar</name>
    <message>
        <source>January</source>
        <translation>一月</translation>
    </message>
    <message>
        <source>February</source>
        <translation>二月</translation>
    </message>
    <message>
        <source>March</source>
        <translation>三月</translation>
    </message>
    <message>
        <source>April</source>
        <translation>四月</translation>
    </message>
    <message>
        <source>May</source>
        <translation>五月</translation>
    </message>
    <message>
        <source>June</source>
        <translation>六月</translation>
    </message>
    <message>
        <source>July</source>
        <translation>七月</translation>
    </message>
    <message>
        <source>August </source>
        <translation>八月</translation>
    </message>
    <message>
        <source>September </source>
        <translation>九月</translation>
    </message>
    <message>
        <source>October </source>
        <translation>十月</translation>
    </message>
    <message>
        <source>November</source>
        <translation>十一月</translation>
    </message>
    <message>
        <source>December</source>
        <translation>十二月</translation>
    </message>
</context>
<context>
    <name>CCaseDetailsBox</name>
    <message>
        <source>Case details</source>
        <translation>案件信息</translation>
    </message>
    <message>
        <source>Named in the examination report written beside the exported files</source>
        <translation>写入导出文件旁的检验报告</translation>
    </message>
    <message>
        <source> s</source>
        <translation> 秒</translation>
    </message>
    <message>
        <source>The recorder&apos;s clock minus the true time, in seconds. The report shows the corrected times beside the recorder&apos;s own; exported files and their names stay as they are.</source>
        <translation>录像机时钟减去准确时间，单位为秒。报告在录像机时间旁列出校正后的时间；导出的文件及其名称保持不变。</translation>
    </message>
    <message>
        <source>Case number</source>
        <translation>案件编号</translation>
    </message>
    <message>
        <source>Examiner</source>
        <translation>检验人</translation>
    </message>
    <message>
        <source>Evidence number</source>
        <translation>检材编号</translation>
    </message>
    <message>
        <source>Notes</source>
        <translation>备注</translation>
    </message>
    <message>
        <source>Clock offset</source>
        <translation>时钟偏差</translation>
    </message>
</context>
<context>
    <name>CConfigDlg</name>
    <message>
        <source>Config</source>
        <translation>设置</translation>
    </message>
    <message>
        <source>Browse</source>
        <translation>浏览</translation>
    </message>
    <message>
        <source>English</source>
        <translation>英文</translation>
    </message>
    <message>
        <source>SimpChinese</source>
        <translation>简体中文</translation>
    </message>
    <message>
        <source>Russian</source>
        <translation>俄文</translation>
    </message>
    <message>
        <source>Main Stream</source>
        <translation>主码流</translation>
    </message>
    <message>
        <source>Sub Stream</source>
        <translation>子码流</translation>
    </message>
    <message>
        <source>Timelapse Video</source>
        <translation>延时录像</translation>
    </message>
    <message>
        <source>Pic Path</source>
        <translation>抓图路径</translation>
    </message>
    <message>
        <source>Record Path</source>
        <translation>录像路径</translation>
    </message>
    <message>
        <source>Language</source>
        <translation>语言</translation>
    </message>
    <message>
        <source>Record Stream</source>
        <translation>录像码流</translation>
    </message>
    <message>
        <source>Version</source>
        <translation>版本</translation>
    </message>
    <message>
        <source>Build Date</source>
        <translation>编译日期</translation>
    </message>
    <message>
        <source>Open Source Licenses</source>
        <translation>开源许可</translation>
    </message>
    <message>
        <source>Service Agreements</source>
        <translation>服务协议</translation>
    </message>
    <message>
        <source>Language and record stream changes take effect after a restart.</source>
        <translation>语言和录像码流的更改在重启后生效。</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>确定</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Select the path for capture</source>
        <translation>选择抓图路径</translation>
    </message>
    <message>
        <source>Select the path for record</source>
        <translation>选择录像保存路径</translation>
    </message>
    <message>
        <source>Prompt</source>
        <translation>提示</translation>
    </message>
    <message>
        <source>The change will take effect after a restart of Orvelle.</source>
        <translation>更改将在重启 Orvelle 后生效。</translation>
    </message>
    <message>
        <source>Restart</source>
        <translation>重启</translation>
    </message>
    <message>
        <source>Later</source>
        <translation>稍后</translation>
    </message>
</context>
<context>
    <name>CCutFileDlg</name>
    <message>
        <source>Cut</source>
        <translation>剪切</translation>
    </message>
    <message>
        <source>Browse</source>
        <translation>浏览</translation>
    </message>
    <message>
        <source>Start Time</source>
        <translation>开始时间</translation>
    </message>
    <message>
        <source>End Time</source>
        <translation>结束时间</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>开始</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Cut Range </source>
        <translation>剪切范围 </translation>
    </message>
    <message>
        <source>Select the path for record</source>
        <translation>选择录像保存路径</translation>
    </message>
    <message>
        <source>Prompt</source>
        <translation>提示</translation>
    </message>
    <message>
        <source>Abnormal time</source>
        <translation>时间异常</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>确定</translation>
    </message>
    <message>
        <source>Whether to cancel cut recording</source>
        <translation>是否取消剪切录像</translation>
    </message>
    <message>
        <source>NO</source>
        <translation>否</translation>
    </message>
</context>
<context>
    <name>CCutJob</name>
    <message>
        <source>Convert Record</source>
        <translation>转换录像</translation>
    </message>
    <message>
        <source>Convert To Mp4</source>
        <translation>转换为MP4</translation>
    </message>
    <message>
        <source>Convert Failed</source>
        <translation>转换失败</translation>
    </message>
    <message>
        <source>Cut Success</source>
        <translation>剪切成功</translation>
    </message>
    <message>
        <source>No video lies in the selected range</source>
        <translation>所选时间范围内没有视频</translation>
    </message>
    <message>
        <source>Cut Failed</source>
        <translation>剪切失败</translation>
    </message>
    <message>
        <source>Abnormal time</source>
        <translation>时间异常</translation>
    </message>
    <message>
        <source>The recording cannot be opened: %1</source>
        <translation>无法打开录像：%1</translation>
    </message>
    <message>
        <source>The folder cannot be created: %1</source>
        <translation>无法创建文件夹：%1</translation>
    </message>
    <message>
        <source>The file cannot be created: %1</source>
        <translation>无法创建文件：%1</translation>
    </message>
    <message>
        <source>Out of memory</source>
        <translation>内存不足</translation>
    </message>
    <message>
        <source>Start Cut</source>
        <translation>开始剪切</translation>
    </message>
    <message>
        <source>Find Start Pos</source>
        <translation>查找起始位置</translation>
    </message>
    <message>
        <source>The recording cannot be read</source>
        <translation>无法读取录像</translation>
    </message>
    <message>
        <source>The file cannot be written: %1</source>
        <translation>无法写入文件：%1</translation>
    </message>
    <message>
        <source>Reading ended after %1 of %2 bytes</source>
        <translation>读取在 %2 字节中的第 %1 字节处中止</translation>
    </message>
    <message>
        <source>The job was stopped during the conversion; the cut was kept as H.264</source>
        <translation>任务在转换期间被停止；剪辑已保留为 H.264</translation>
    </message>
    <message>
        <source>The conversion to MP4 failed; the cut was kept as H.264</source>
        <translation>转换为 MP4 失败；剪辑已保留为 H.264</translation>
    </message>
    <message>
        <source>The job was stopped before its end</source>
        <translation>任务在完成前被停止</translation>
    </message>
    <message>
        <source>The MP4 file cannot be read back (%1); the cut was kept as H.264</source>
        <translation>无法读回 MP4 文件（%1）；剪辑已保留为 H.264</translation>
    </message>
    <message>
        <source>The raw cut %1 cannot be removed after its conversion</source>
        <translation>转换后无法删除原始剪辑 %1</translation>
    </message>
    <message>
        <source>SHA256SUMS cannot be updated for %1: %2</source>
        <translation>无法为 %1 更新 SHA256SUMS：%2</translation>
    </message>
    <message>
        <source>The examination report cannot be written: %1</source>
        <translation>无法写入检验报告：%1</translation>
    </message>
    <message>
        <source>Kept as H.264: %1</source>
        <translation>已保留为 H.264：%1</translation>
    </message>
    <message>
        <source>Stopped before the end of the cut</source>
        <translation>在剪辑结束前停止</translation>
    </message>
    <message>
        <source>Stopped; the output could not be written whole</source>
        <translation>已停止；输出文件未能完整写入</translation>
    </message>
</context>
<context>
    <name>CDirManagePage</name>
    <message>
        <source>Add Local Record</source>
        <translation>添加本地录像</translation>
    </message>
    <message>
        <source>Select the path for record</source>
        <translation>选择录像路径</translation>
    </message>
    <message>
        <source>Index file not found</source>
        <translation>未找到索引文件</translation>
    </message>
    <message>
        <source>The index file cannot be read</source>
        <translation>无法读取索引文件</translation>
    </message>
    <message>
        <source>No matching record file</source>
        <translation>没有匹配的录像文件</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>播放</translation>
    </message>
    <message>
        <source>Cut</source>
        <translation>剪切</translation>
    </message>
    <message>
        <source>Sync Play</source>
        <translation>同步播放</translation>
    </message>
    <message>
        <source>The SHA256SUMS file of this folder cannot be read</source>
        <translation>无法读取此文件夹的 SHA256SUMS 文件</translation>
    </message>
    <message>
        <source>This file does not match its hash in SHA256SUMS.</source>
        <translation>此文件与 SHA256SUMS 中的哈希值不符。</translation>
    </message>
    <message>
        <source>This file could not be read to check it against SHA256SUMS.</source>
        <translation>无法读取此文件，未能按 SHA256SUMS 校验。</translation>
    </message>
    <message>
        <source>SHA256SUMS: all %1 files of this folder match</source>
        <translation>SHA256SUMS：此文件夹的全部 %1 个文件均一致</translation>
    </message>
    <message>
        <source>SHA256SUMS: %1 of the %2 files listed are missing or do not match</source>
        <translation>SHA256SUMS：所列 %2 个文件中有 %1 个缺失或不一致</translation>
    </message>
</context>
<context>
    <name>CDiskManagePage</name>
    <message>
        <source>Add Disk Image</source>
        <translation>添加磁盘镜像</translation>
    </message>
    <message>
        <source>Add a disk image file as a recorder disk</source>
        <translation>将磁盘镜像文件作为录像机硬盘添加</translation>
    </message>
    <message>
        <source>Loading</source>
        <translation>正在加载</translation>
    </message>
    <message>
        <source>Cannot read %1 (%2): the program needs read access to this drive.</source>
        <translation>无法读取 %1（%2）：程序需要对该驱动器的读取权限。</translation>
    </message>
    <message>
        <source>%1 does not exist</source>
        <translation>%1 不存在</translation>
    </message>
    <message>
        <source>%1 is not a file</source>
        <translation>%1 不是文件</translation>
    </message>
    <message>
        <source>%1 cannot be read</source>
        <translation>无法读取 %1</translation>
    </message>
    <message>
        <source>The disks are read again when the current work has finished</source>
        <translation>当前工作完成后将重新读取磁盘</translation>
    </message>
    <message>
        <source>Select a disk image</source>
        <translation>选择磁盘镜像</translation>
    </message>
    <message>
        <source>Disk images (*.img *.bin *.dd *.raw *.E01 *.e01 *.Ex01 *.000 *.001);;Raw images (*.img *.bin *.dd *.raw);;Split raw images, first segment (*.000 *.001);;Expert Witness images (*.E01 *.e01 *.Ex01);;All files (*)</source>
        <translation>磁盘镜像 (*.img *.bin *.dd *.raw *.E01 *.e01 *.Ex01 *.000 *.001);;原始镜像 (*.img *.bin *.dd *.raw);;分段原始镜像，第一个分段 (*.000 *.001);;EWF 证据镜像 (*.E01 *.e01 *.Ex01);;所有文件 (*)</translation>
    </message>
    <message>
        <source>%1 is not a recorder disk</source>
        <translation>%1 不是录像机硬盘</translation>
    </message>
    <message>
        <source>Disk Info</source>
        <translation>磁盘信息</translation>
    </message>
    <message>
        <source>Export</source>
        <translation>导出</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>播放</translation>
    </message>
    <message>
        <source>Cut</source>
        <translation>剪切</translation>
    </message>
    <message>
        <source>Sync Play</source>
        <translation>同步播放</translation>
    </message>
    <message>
        <source>Total Space</source>
        <translation>总空间</translation>
    </message>
    <message>
        <source>Remain Space</source>
        <translation>剩余空间</translation>
    </message>
    <message>
        <source>Picture Total Space</source>
        <translation>图片总空间</translation>
    </message>
    <message>
        <source>Record Total Space</source>
        <translation>录像总空间</translation>
    </message>
    <message>
        <source>MB</source>
        <translation>MB</translation>
    </message>
    <message>
        <source>no recordings of the chosen stream</source>
        <translation>没有所选码流的录像</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>确定</translation>
    </message>
    <message>
        <source>Cannot read the disk image %1: its segment %2 is missing.</source>
        <translation>无法读取磁盘镜像 %1：其分段 %2 缺失。</translation>
    </message>
    <message>
        <source>Cannot read the disk image %1: its segment %2 is cut short.</source>
        <translation>无法读取磁盘镜像 %1：其分段 %2 被截短。</translation>
    </message>
    <message>
        <source>Cannot read the disk image %1: its segment %2 is damaged.</source>
        <translation>无法读取磁盘镜像 %1：其分段 %2 已损坏。</translation>
    </message>
    <message>
        <source>Cannot read the disk image %1: its segment %2 cannot be opened (%3).</source>
        <translation>无法读取磁盘镜像 %1：无法打开其分段 %2（%3）。</translation>
    </message>
    <message>
        <source>Cannot read the disk image %1: its segment %2 is longer than the first segment.</source>
        <translation>无法读取磁盘镜像 %1：其分段 %2 比第一个分段长。</translation>
    </message>
    <message>
        <source>%1 is not the first segment of its split image (%2 comes before it).</source>
        <translation>%1 不是其分段镜像的第一个分段（%2 在它之前）。</translation>
    </message>
    <message>
        <source>Cannot read the disk image %1: the image set is damaged.</source>
        <translation>无法读取磁盘镜像 %1：镜像文件组已损坏。</translation>
    </message>
    <message>
        <source>raw image</source>
        <translation>原始镜像</translation>
    </message>
    <message>
        <source>split raw image, 1 segment</source>
        <translation>分段原始镜像，1 个分段</translation>
    </message>
    <message>
        <source>split raw image, %1 segments</source>
        <translation>分段原始镜像，%1 个分段</translation>
    </message>
    <message>
        <source>EWF image, 1 segment</source>
        <translation>EWF 镜像，1 个分段</translation>
    </message>
    <message>
        <source>EWF image, %1 segments</source>
        <translation>EWF 镜像，%1 个分段</translation>
    </message>
    <message>
        <source>Recovered</source>
        <translation>已恢复</translation>
    </message>
    <message>
        <source>Deleted recordings and what is left of overwritten ones</source>
        <translation>已删除的录像和被覆盖录像的剩余部分</translation>
    </message>
    <message>
        <source>deleted</source>
        <translation>已删除</translation>
    </message>
    <message>
        <source>fragment</source>
        <translation>片段</translation>
    </message>
</context>
<context>
    <name>CDisplayBox</name>
    <message>
        <source>Stop</source>
        <translation>停止</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>播放</translation>
    </message>
    <message>
        <source>Slow</source>
        <translation>慢放</translation>
    </message>
    <message>
        <source>Fast</source>
        <translation>快放</translation>
    </message>
    <message>
        <source>NextFrame</source>
        <translation>单帧</translation>
    </message>
    <message>
        <source>Audio</source>
        <translation>声音</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>暂停</translation>
    </message>
    <message>
        <source>Single I frame playback</source>
        <translation>仅播放I帧</translation>
    </message>
    <message>
        <source>AudioOn</source>
        <translation>打开声音</translation>
    </message>
    <message>
        <source>AudioOff</source>
        <translation>关闭声音</translation>
    </message>
    <message>
        <source>The file index is being read and the progress bar cannot be operated</source>
        <translation>正在读取文件索引，进度条暂不可用</translation>
    </message>
    <message>
        <source>Please stop sync playback first</source>
        <translation>请先停止同步回放</translation>
    </message>
    <message>
        <source>In synchronous mode, you need to wait for the file index to be created</source>
        <translation>同步模式下，需等待文件索引创建完成</translation>
    </message>
    <message>
        <source>Window</source>
        <translation>窗口</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>关闭</translation>
    </message>
    <message>
        <source>Close All</source>
        <translation>全部关闭</translation>
    </message>
    <message>
        <source>Catch Picture</source>
        <translation>抓图</translation>
    </message>
    <message>
        <source>Record</source>
        <translation>录像</translation>
    </message>
    <message>
        <source>Range</source>
        <translation>区域放大</translation>
    </message>
    <message>
        <source>Video Split</source>
        <translation>画面分割</translation>
    </message>
    <message>
        <source>Split1</source>
        <translation>1画面</translation>
    </message>
    <message>
        <source>Split4</source>
        <translation>4画面</translation>
    </message>
    <message>
        <source>Split8</source>
        <translation>8画面</translation>
    </message>
    <message>
        <source>Split9</source>
        <translation>9画面</translation>
    </message>
    <message>
        <source>Split16</source>
        <translation>16画面</translation>
    </message>
    <message>
        <source>Sound output is not available</source>
        <translation>声音输出不可用</translation>
    </message>
    <message>
        <source>The picture could not be saved</source>
        <translation>无法保存抓图</translation>
    </message>
    <message>
        <source>Picture saved as %1</source>
        <translation>抓图已保存为 %1</translation>
    </message>
</context>
<context>
    <name>CExamReport</name>
    <message>
        <source>Disk %1 is no longer loaded: its source cannot be described</source>
        <translation>磁盘 %1 已不再加载：无法描述其来源</translation>
    </message>
    <message>
        <source>Export</source>
        <translation>导出</translation>
    </message>
    <message>
        <source>Cut</source>
        <translation>剪切</translation>
    </message>
    <message>
        <source>Range export</source>
        <translation>时间段导出</translation>
    </message>
    <message>
        <source>Examination report</source>
        <translation>检验报告</translation>
    </message>
    <message>
        <source>Program</source>
        <translation>程序</translation>
    </message>
    <message>
        <source>Job</source>
        <translation>任务</translation>
    </message>
    <message>
        <source>Format</source>
        <translation>格式</translation>
    </message>
    <message>
        <source>Destination</source>
        <translation>目标文件夹</translation>
    </message>
    <message>
        <source>Started</source>
        <translation>任务开始</translation>
    </message>
    <message>
        <source>Finished</source>
        <translation>任务结束</translation>
    </message>
    <message>
        <source>Host</source>
        <translation>主机</translation>
    </message>
    <message>
        <source>Channels</source>
        <translation>通道</translation>
    </message>
    <message>
        <source>Case</source>
        <translation>案件</translation>
    </message>
    <message>
        <source>Case number</source>
        <translation>案件编号</translation>
    </message>
    <message>
        <source>Examiner</source>
        <translation>检验人</translation>
    </message>
    <message>
        <source>Evidence number</source>
        <translation>检材编号</translation>
    </message>
    <message>
        <source>Notes</source>
        <translation>备注</translation>
    </message>
    <message>
        <source>Clock offset (recorder minus true time, s)</source>
        <translation>时钟偏差（录像机时间减真实时间，秒）</translation>
    </message>
    <message>
        <source>Sources</source>
        <translation>来源</translation>
    </message>
    <message>
        <source>No recorder disk was read (local files only).</source>
        <translation>未读取录像机磁盘（仅本地文件）。</translation>
    </message>
    <message>
        <source>Disk</source>
        <translation>磁盘</translation>
    </message>
    <message>
        <source>Drive</source>
        <translation>驱动器</translation>
    </message>
    <message>
        <source>Kind</source>
        <translation>类型</translation>
    </message>
    <message>
        <source>Source</source>
        <translation>来源</translation>
    </message>
    <message>
        <source>Sectors</source>
        <translation>扇区数</translation>
    </message>
    <message>
        <source>Model / serial</source>
        <translation>型号 / 序列号</translation>
    </message>
    <message>
        <source>Image files</source>
        <translation>镜像文件</translation>
    </message>
    <message>
        <source>%1 (%2 bytes)</source>
        <translation>%1（%2 字节）</translation>
    </message>
    <message>
        <source>stored %1</source>
        <translation>存储的 %1</translation>
    </message>
    <message>
        <source>Recordings</source>
        <translation>录像</translation>
    </message>
    <message>
        <source>Recording</source>
        <translation>录像</translation>
    </message>
    <message>
        <source>Disk / part / channel</source>
        <translation>磁盘 / 分区 / 通道</translation>
    </message>
    <message>
        <source>State</source>
        <translation>状态</translation>
    </message>
    <message>
        <source>Start (corrected)</source>
        <translation>开始（校正后）</translation>
    </message>
    <message>
        <source>End (corrected)</source>
        <translation>结束（校正后）</translation>
    </message>
    <message>
        <source>First cluster</source>
        <translation>首簇</translation>
    </message>
    <message>
        <source>Source bytes</source>
        <translation>源字节数</translation>
    </message>
    <message>
        <source>Source SHA-256</source>
        <translation>源 SHA-256</translation>
    </message>
    <message>
        <source>Output</source>
        <translation>输出</translation>
    </message>
    <message>
        <source>Output bytes</source>
        <translation>输出字节数</translation>
    </message>
    <message>
        <source>Output SHA-256</source>
        <translation>输出 SHA-256</translation>
    </message>
    <message>
        <source>Outcome</source>
        <translation>结果</translation>
    </message>
    <message>
        <source>Message</source>
        <translation>信息</translation>
    </message>
    <message>
        <source>cut %1 - %2</source>
        <translation>剪辑 %1 - %2</translation>
    </message>
    <message>
        <source>kept as H.264</source>
        <translation>已保留为 H.264</translation>
    </message>
    <message>
        <source>Warnings</source>
        <translation>警告</translation>
    </message>
    <message>
        <source>None</source>
        <translation>无</translation>
    </message>
    <message>
        <source>Time range</source>
        <translation>时间段</translation>
    </message>
    <message>
        <source>Start time</source>
        <translation>开始时间</translation>
    </message>
    <message>
        <source>End time</source>
        <translation>结束时间</translation>
    </message>
    <message>
        <source>Time range (corrected)</source>
        <translation>时间段（校正后）</translation>
    </message>
</context>
<context>
    <name>CExportFileDlg</name>
    <message>
        <source>Export</source>
        <translation>导出</translation>
    </message>
    <message>
        <source>Browse</source>
        <translation>浏览</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>开始</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Select the path for record</source>
        <translation>选择录像保存路径</translation>
    </message>
    <message>
        <source>Prompt</source>
        <translation>提示</translation>
    </message>
    <message>
        <source>Whether to cancel export recording</source>
        <translation>是否取消导出录像</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>确定</translation>
    </message>
    <message>
        <source>NO</source>
        <translation>否</translation>
    </message>
</context>
<context>
    <name>CExportJob</name>
    <message>
        <source>The destination folder cannot be created</source>
        <translation>无法创建目标文件夹</translation>
    </message>
    <message>
        <source>Export</source>
        <translation>导出</translation>
    </message>
    <message>
        <source>Not a recording path</source>
        <translation>不是录像路径</translation>
    </message>
    <message>
        <source>The folder cannot be created</source>
        <translation>无法创建文件夹</translation>
    </message>
    <message>
        <source>The existing file cannot be replaced</source>
        <translation>无法替换已有文件</translation>
    </message>
    <message>
        <source>The line of index.data cannot be written</source>
        <translation>无法写入 index.data 的条目</translation>
    </message>
    <message>
        <source>The recording cannot be opened</source>
        <translation>无法打开录像</translation>
    </message>
    <message>
        <source>The target file cannot be created</source>
        <translation>无法创建目标文件</translation>
    </message>
    <message>
        <source>Reading ended after %1 bytes: the end of the recording cannot be reached</source>
        <translation>读取在第 %1 字节处中止：无法到达录像结尾</translation>
    </message>
    <message>
        <source>Reading ended after %1 of %2 bytes</source>
        <translation>读取在 %2 字节中的第 %1 字节处中止</translation>
    </message>
    <message>
        <source>The target file cannot be written</source>
        <translation>无法写入目标文件</translation>
    </message>
    <message>
        <source>Convert Record</source>
        <translation>转换录像</translation>
    </message>
    <message>
        <source>Convert To Mp4</source>
        <translation>转换为MP4</translation>
    </message>
    <message>
        <source>Convert </source>
        <translation>转换 </translation>
    </message>
    <message>
        <source>Convert Failed</source>
        <translation>转换失败</translation>
    </message>
    <message>
        <source>Export Success</source>
        <translation>导出成功</translation>
    </message>
    <message>
        <source>Export failed for %1 of %2 recordings:</source>
        <translation>%2 个录像中有 %1 个导出失败：</translation>
    </message>
    <message>
        <source>and %1 more</source>
        <translation>以及另外 %1 个</translation>
    </message>
    <message>
        <source>index.data cannot be opened: nothing was copied</source>
        <translation>无法打开 index.data：未复制任何内容</translation>
    </message>
    <message>
        <source>The job was stopped before its end</source>
        <translation>任务在完成前被停止</translation>
    </message>
    <message>
        <source>SHA256SUMS cannot be updated for %1: %2</source>
        <translation>无法为 %1 更新 SHA256SUMS：%2</translation>
    </message>
    <message>
        <source>The examination report cannot be written: %1</source>
        <translation>无法写入检验报告：%1</translation>
    </message>
    <message>
        <source>Stopped after %1 bytes</source>
        <translation>在 %1 字节后停止</translation>
    </message>
    <message>
        <source>The line of index.data cannot be written for %1</source>
        <translation>无法为 %1 写入 index.data 行</translation>
    </message>
    <message>
        <source>Convert Failed; kept as H.264</source>
        <translation>转换失败；已保留为 H.264</translation>
    </message>
    <message>
        <source>The conversion to MP4 failed; the recording was kept as H.264</source>
        <translation>转换为 MP4 失败；录像已保留为 H.264</translation>
    </message>
    <message>
        <source>The MP4 file cannot be read back: %1</source>
        <translation>无法读回 MP4 文件：%1</translation>
    </message>
    <message>
        <source>The MP4 file cannot be read back (%1); the recording was kept as H.264</source>
        <translation>无法读回 MP4 文件（%1）；录像已保留为 H.264</translation>
    </message>
    <message>
        <source>The raw copy %1 cannot be removed after its conversion</source>
        <translation>转换后无法删除原始副本 %1</translation>
    </message>
    <message>
        <source>The job was stopped before the conversion; the recording was kept as H.264</source>
        <translation>任务在转换前被停止；录像已保留为 H.264</translation>
    </message>
    <message>
        <source>Kept as H.264 and listed in index.data:</source>
        <translation>已保留为 H.264 并列入 index.data：</translation>
    </message>
    <message>
        <source>Export finished with warnings:</source>
        <translation>导出完成，但有警告：</translation>
    </message>
</context>
<context>
    <name>CJobDialog</name>
    <message>
        <source>Open Report</source>
        <translation>打开报告</translation>
    </message>
    <message>
        <source>No program could open the report. It is saved as:
%1</source>
        <translation>没有程序能打开该报告。报告保存在：
%1</translation>
    </message>
</context>
<context>
    <name>CMessageBox</name>
    <message>
        <source>OK</source>
        <translation>确定</translation>
    </message>
</context>
<context>
    <name>COrvelle</name>
    <message>
        <source>Prompt</source>
        <translation>提示</translation>
    </message>
    <message>
        <source>Do you want to close</source>
        <translation>确定要关闭</translation>
    </message>
    <message>
        <source>Yes</source>
        <translation>是</translation>
    </message>
    <message>
        <source>No</source>
        <translation>否</translation>
    </message>
</context>
<context>
    <name>CRangeExportDlg</name>
    <message>
        <source>Export range</source>
        <translation>导出时间段</translation>
    </message>
    <message>
        <source>Browse</source>
        <translation>浏览</translation>
    </message>
    <message>
        <source>Select the path for record</source>
        <translation>选择录像保存路径</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>开始</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Prompt</source>
        <translation>提示</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>确定</translation>
    </message>
    <message>
        <source>NO</source>
        <translation>否</translation>
    </message>
    <message>
        <source>Whether to cancel the range export</source>
        <translation>是否取消时间段导出</translation>
    </message>
    <message>
        <source>Format</source>
        <translation>格式</translation>
    </message>
    <message>
        <source>From</source>
        <translation>从</translation>
    </message>
    <message>
        <source>To</source>
        <translation>到</translation>
    </message>
    <message>
        <source>Channels</source>
        <translation>通道</translation>
    </message>
    <message>
        <source>All files</source>
        <translation>全部文件</translation>
    </message>
    <message>
        <source>Files: %1, channels: %2</source>
        <translation>文件：%1，通道：%2</translation>
    </message>
</context>
<context>
    <name>CRangeExportJob</name>
    <message>
        <source>No recording in the range: %1</source>
        <translation>时间段内无录像：%1</translation>
    </message>
    <message>
        <source>The range needs a valid start and end</source>
        <translation>时间段需要有效的开始和结束时间</translation>
    </message>
    <message>
        <source>The range has no length</source>
        <translation>时间段长度为零</translation>
    </message>
    <message>
        <source>The range ends before it starts</source>
        <translation>时间段的结束早于开始</translation>
    </message>
    <message>
        <source>No channel is chosen</source>
        <translation>未选择通道</translation>
    </message>
    <message>
        <source>These channels do not exist: %1</source>
        <translation>以下通道不存在：%1</translation>
    </message>
    <message>
        <source>No recording of the chosen channels lies between %1 and %2</source>
        <translation>所选通道在 %1 与 %2 之间没有录像</translation>
    </message>
    <message>
        <source>Channel %1, file %2 of %3 (%4 of %5)</source>
        <translation>通道 %1，文件 %2/%3（共 %4/%5）</translation>
    </message>
    <message>
        <source>the conversion to MP4 failed; kept as H.264</source>
        <translation>转换为 MP4 失败；已保留为 H.264</translation>
    </message>
    <message>
        <source>Range export finished with errors</source>
        <translation>时间段导出完成，但有错误</translation>
    </message>
    <message>
        <source>Range Export Success</source>
        <translation>时间段导出成功</translation>
    </message>
    <message>
        <source>Files written: %1</source>
        <translation>已写入文件：%1</translation>
    </message>
    <message>
        <source>Folder: %1</source>
        <translation>文件夹：%1</translation>
    </message>
    <message>
        <source>%1: no video of %2 lies in the range</source>
        <translation>%1：%2 在时间段内没有视频</translation>
    </message>
    <message>
        <source>The examination report cannot be written: %1</source>
        <translation>无法写入检验报告：%1</translation>
    </message>
    <message>
        <source>The job was stopped before its end</source>
        <translation>任务在完成前被停止</translation>
    </message>
</context>
<context>
    <name>CRecordListManage</name>
    <message>
        <source>Disk</source>
        <translation>磁盘</translation>
    </message>
    <message>
        <source>Local</source>
        <translation>本地</translation>
    </message>
</context>
<context>
    <name>CServiceAgreementDlg</name>
    <message>
        <source>Service Agreements</source>
        <translation>服务协议</translation>
    </message>
    <message>
        <source>I already know</source>
        <translation>我已知晓</translation>
    </message>
</context>
<context>
    <name>CTimelineLegend</name>
    <message>
        <source>Regular</source>
        <translation>常规</translation>
    </message>
    <message>
        <source>Alarm</source>
        <translation>报警</translation>
    </message>
    <message>
        <source>Motion</source>
        <translation>移动侦测</translation>
    </message>
    <message>
        <source>Type %1</source>
        <translation>类型 %1</translation>
    </message>
</context>
<context>
    <name>CTimelinePanel</name>
    <message>
        <source>24 h</source>
        <translation>24 小时</translation>
    </message>
    <message>
        <source>6 h</source>
        <translation>6 小时</translation>
    </message>
    <message>
        <source>1 h</source>
        <translation>1 小时</translation>
    </message>
    <message>
        <source>10 min</source>
        <translation>10 分钟</translation>
    </message>
    <message>
        <source>Start of the selected range</source>
        <translation>所选时间段的开始</translation>
    </message>
    <message>
        <source>End of the selected range</source>
        <translation>所选时间段的结束</translation>
    </message>
    <message>
        <source>Export range</source>
        <translation>导出时间段</translation>
    </message>
    <message>
        <source>Timeline</source>
        <translation>时间轴</translation>
    </message>
    <message>
        <source>Channel %1 has no recording at %2</source>
        <translation>通道 %1 在 %2 没有录像</translation>
    </message>
    <message>
        <source>No recording at or after %1</source>
        <translation>%1 及之后没有录像</translation>
    </message>
</context>
<context>
    <name>CTimelineWidget</name>
    <message>
        <source>No recordings on this day</source>
        <translation>当天没有录像</translation>
    </message>
    <message>
        <source>Select a date in the tree or the calendar</source>
        <translation>请在目录树或日历中选择日期</translation>
    </message>
    <message>
        <source>Export range</source>
        <translation>导出时间段</translation>
    </message>
    <message>
        <source>Clear range</source>
        <translation>清除时间段</translation>
    </message>
    <message>
        <source>Channel %1</source>
        <translation>通道 %1</translation>
    </message>
    <message>
        <source>No recording</source>
        <translation>无录像</translation>
    </message>
</context>
<context>
    <name>CTitleWidget</name>
    <message>
        <source>Config</source>
        <translation>设置</translation>
    </message>
    <message>
        <source>Min</source>
        <translation>最小化</translation>
    </message>
    <message>
        <source>Max</source>
        <translation>最大化</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>关闭</translation>
    </message>
    <message>
        <source>Normal</source>
        <translation>还原</translation>
    </message>
</context>
<context>
    <name>CWeekWidget</name>
    <message>
        <source>Sun</source>
        <translation>日</translation>
    </message>
    <message>
        <source>Mon</source>
        <translation>一</translation>
    </message>
    <message>
        <source>Tues</source>
        <translation>二</translation>
    </message>
    <message>
        <source>Wed</source>
        <translation>三</translation>
    </message>
    <message>
        <source>Thur</source>
        <translation>四</translation>
    </message>
    <message>
        <source>Fri</source>
        <translation>五</translation>
    </message>
    <message>
        <source>Sat</source>
        <translation>六</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>Loading</source>
        <translation>正在加载</translation>
    </message>
</context>
</TS>
