<?xml version='1.0' encoding='utf-8'?>
<TS version="2.1" language="zh_CN">
<context>
    <name>QObject</name>
    <message>
        <source>Cannot write %1: %2</source>
        <translation>无法写入 %1：%2</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>Tuning window: the target group delay of a stage with the measured sweep.</source>
        <translation>调试窗口：调试级的目标群时延与测量扫描对比。</translation>
    </message>
    <message>
        <source>A Touchstone file to open.</source>
        <translation>要打开的 Touchstone 文件。</translation>
    </message>
</context>
<context>
    <name>varnel::TuneWindow</name>
    <message>
        <source>Varnel tuning</source>
        <translation>Varnel 调试</translation>
    </message>
    <message>
        <source>Reading %1 ...</source>
        <translation>正在读取 %1 ……</translation>
    </message>
    <message>
        <source>Filter</source>
        <translation>滤波器</translation>
    </message>
    <message>
        <source>Order</source>
        <translation>腔数</translation>
    </message>
    <message>
        <source>Bandwidth</source>
        <translation>带宽</translation>
    </message>
    <message>
        <source>MHz</source>
        <translation>MHz</translation>
    </message>
    <message>
        <source>Ripple</source>
        <translation>纹波</translation>
    </message>
    <message>
        <source>dB</source>
        <translation>dB</translation>
    </message>
    <message>
        <source>Band centre f0</source>
        <translation>中心频率 f0</translation>
    </message>
    <message>
        <source>Unloaded Q</source>
        <translation>无载 Q</translation>
    </message>
    <message>
        <source>lossless</source>
        <translation>无损耗</translation>
    </message>
    <message>
        <source>Stage</source>
        <translation>调试级</translation>
    </message>
    <message>
        <source>g</source>
        <translation>g</translation>
    </message>
    <message>
        <source>Target delay (ns)</source>
        <translation>目标时延 (ns)</translation>
    </message>
    <message>
        <source>Coupling to next</source>
        <translation>与下一腔耦合</translation>
    </message>
    <message>
        <source>External Q</source>
        <translation>外部 Q</translation>
    </message>
    <message>
        <source>Measurement</source>
        <translation>测量</translation>
    </message>
    <message>
        <source>No sweep: open a Touchstone file (Ctrl+O) or drop one here.</source>
        <translation>尚无扫描：打开 Touchstone 文件 (Ctrl+O) 或拖放到此处。</translation>
    </message>
    <message>
        <source>Parameter</source>
        <translation>参数</translation>
    </message>
    <message>
        <source>Aperture</source>
        <translation>孔径</translation>
    </message>
    <message>
        <source>Frequency steps (2), a percentage of the span (5%) or a width in MHz (1.5MHz)</source>
        <translation>频率步数 (2)、扫宽百分比 (5%) 或以 MHz 表示的宽度 (1.5MHz)</translation>
    </message>
    <message>
        <source>Electrical delay (ns)</source>
        <translation>电延时 (ns)</translation>
    </message>
    <message>
        <source>Removed from the phase before the group delay is taken</source>
        <translation>计算群时延前从相位中扣除</translation>
    </message>
    <message>
        <source>Tolerance (%)</source>
        <translation>容差 (%)</translation>
    </message>
    <message>
        <source>The largest deviation of the delay at f0 that passes</source>
        <translation>f0 处时延允许的最大偏差</translation>
    </message>
    <message>
        <source>Verdict</source>
        <translation>判定</translation>
    </message>
    <message>
        <source>No sweep loaded</source>
        <translation>未载入扫描</translation>
    </message>
    <message>
        <source>Frequency (MHz)</source>
        <translation>频率 (MHz)</translation>
    </message>
    <message>
        <source>Group delay (ns)</source>
        <translation>群时延 (ns)</translation>
    </message>
    <message>
        <source>|S11| (dB)</source>
        <translation>|S11| (dB)</translation>
    </message>
    <message>
        <source>Target delay</source>
        <translation>目标时延</translation>
    </message>
    <message>
        <source>Measured delay</source>
        <translation>测量时延</translation>
    </message>
    <message>
        <source>f0</source>
        <translation>f0</translation>
    </message>
    <message>
        <source>Target |S11|</source>
        <translation>目标 |S11|</translation>
    </message>
    <message>
        <source>Measured |S11|</source>
        <translation>测量 |S11|</translation>
    </message>
    <message>
        <source>%1 MHz, %2 ns</source>
        <translation>%1 MHz，%2 ns</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>文件(&amp;F)</translation>
    </message>
    <message>
        <source>Tools</source>
        <translation>工具</translation>
    </message>
    <message>
        <source>&amp;Open sweep...</source>
        <translation>打开扫描(&amp;O)……</translation>
    </message>
    <message>
        <source>Open &amp;recent</source>
        <translation>最近打开(&amp;R)</translation>
    </message>
    <message>
        <source>&amp;Save comparison as CSV...</source>
        <translation>将对比保存为 CSV(&amp;S)……</translation>
    </message>
    <message>
        <source>Save comparison</source>
        <translation>保存对比</translation>
    </message>
    <message>
        <source>CSV files (*.csv)</source>
        <translation>CSV 文件 (*.csv)</translation>
    </message>
    <message>
        <source>Export target as .s1p...</source>
        <translation>将目标导出为 .s1p……</translation>
    </message>
    <message>
        <source>Export target curve</source>
        <translation>导出目标曲线</translation>
    </message>
    <message>
        <source>Touchstone files (*.s1p)</source>
        <translation>Touchstone 文件 (*.s1p)</translation>
    </message>
    <message>
        <source>Export chart as PNG...</source>
        <translation>将图表导出为 PNG……</translation>
    </message>
    <message>
        <source>Export chart</source>
        <translation>导出图表</translation>
    </message>
    <message>
        <source>PNG images (*.png)</source>
        <translation>PNG 图像 (*.png)</translation>
    </message>
    <message>
        <source>Export chart as SVG...</source>
        <translation>将图表导出为 SVG……</translation>
    </message>
    <message>
        <source>SVG images (*.svg)</source>
        <translation>SVG 图像 (*.svg)</translation>
    </message>
    <message>
        <source>&amp;Quit</source>
        <translation>退出(&amp;Q)</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation>视图(&amp;V)</translation>
    </message>
    <message>
        <source>&amp;Reset zoom</source>
        <translation>复位缩放(&amp;R)</translation>
    </message>
    <message>
        <source>|S11| in dB</source>
        <translation>|S11| (dB)</translation>
    </message>
    <message>
        <source>Show |S11| in dB</source>
        <translation>显示 |S11| (dB)</translation>
    </message>
    <message>
        <source>Enter the band centre as a positive number of MHz.</source>
        <translation>请输入以 MHz 为单位的正的中心频率。</translation>
    </message>
    <message>
        <source>Enter a positive unloaded Q, or leave it empty for lossless resonators.</source>
        <translation>请输入正的无载 Q；谐振器无损耗时留空。</translation>
    </message>
    <message>
        <source>Run-time error %1: %2</source>
        <translation>运行错误 %1：%2</translation>
    </message>
    <message>
        <source>Division by zero</source>
        <translation>除数为零</translation>
    </message>
    <message>
        <source>Overflow</source>
        <translation>溢出</translation>
    </message>
    <message>
        <source>The order must be from %1 to %2.</source>
        <translation>腔数应在 %1 到 %2 之间。</translation>
    </message>
    <message>
        <source>The ripple must be above 0 dB.</source>
        <translation>纹波应大于 0 dB。</translation>
    </message>
    <message>
        <source>The bandwidth must be above 0 MHz.</source>
        <translation>带宽应大于 0 MHz。</translation>
    </message>
    <message>
        <source>The band centre must lie above 1.5 bandwidths.</source>
        <translation>中心频率应大于 1.5 倍带宽。</translation>
    </message>
    <message>
        <source>|%1| (dB)</source>
        <translation>|%1| (dB)</translation>
    </message>
    <message>
        <source>Enter frequency steps (2), a percentage of the span (5%) or a width in MHz (1.5MHz).</source>
        <translation>请输入频率步数 (2)、扫宽百分比 (5%) 或以 MHz 表示的宽度 (1.5MHz)。</translation>
    </message>
    <message>
        <source>Enter the electrical delay in ns (0 for none).</source>
        <translation>请输入以 ns 为单位的电延时（无则为 0）。</translation>
    </message>
    <message>
        <source>Enter a tolerance above 0 %.</source>
        <translation>请输入大于 0 % 的容差。</translation>
    </message>
    <message>
        <source>No verdict</source>
        <translation>无判定</translation>
    </message>
    <message>
        <source>PASS</source>
        <translation>通过 PASS</translation>
    </message>
    <message>
        <source>FAIL</source>
        <translation>未通过 FAIL</translation>
    </message>
    <message>
        <source>Delay at f0: measured %1 ns, target %2 ns
Deviation %3 %, tolerance %4 %
|S11| at f0: measured %5 dB, target %6 dB</source>
        <translation>f0 处时延：测量 %1 ns，目标 %2 ns
偏差 %3 %，容差 %4 %
f0 处 |S11|：测量 %5 dB，目标 %6 dB</translation>
    </message>
    <message>
        <source>Lobe %1: %2 ns at %3 MHz (target %4 ns at %5 MHz)</source>
        <translation>第 %1 峰：%2 ns，位于 %3 MHz（目标 %4 ns，位于 %5 MHz）</translation>
    </message>
    <message>
        <source>Stage 1: Qe %1, Qu %2</source>
        <translation>第 1 级：Qe %1，Qu %2</translation>
    </message>
    <message>
        <source>not measurable (|S11| = 1)</source>
        <translation>无法测得 (|S11| = 1)</translation>
    </message>
    <message>
        <source>%1
The previous sweep stays.</source>
        <translation>%1
保留之前的扫描。</translation>
    </message>
    <message>
        <source>%1: %2 points, %3 MHz to %4 MHz, %5 ports</source>
        <translation>%1：%2 点，%3 MHz 至 %4 MHz，%5 端口</translation>
    </message>
    <message>
        <source>%1 - Varnel tuning</source>
        <translation>%1 - Varnel 调试</translation>
    </message>
    <message>
        <source>Open sweep</source>
        <translation>打开扫描</translation>
    </message>
    <message>
        <source>Touchstone files (*.s1p *.s2p *.s3p *.s4p *.ts);;All files (*)</source>
        <translation>Touchstone 文件 (*.s1p *.s2p *.s3p *.s4p *.ts);;所有文件 (*)</translation>
    </message>
    <message>
        <source>Cannot draw the chart as PNG</source>
        <translation>无法将图表绘制为 PNG</translation>
    </message>
    <message>
        <source>Group delay of the stage against its target</source>
        <translation>调试级群时延与目标对比</translation>
    </message>
    <message>
        <source>There is no comparison yet: open a sweep first.</source>
        <translation>尚无对比：请先打开扫描。</translation>
    </message>
    <message>
        <source>There is no target: correct the inputs first.</source>
        <translation>尚无目标：请先修正输入。</translation>
    </message>
    <message>
        <source>Saved %1</source>
        <translation>已保存 %1</translation>
    </message>
    <message>
        <source>Resonator %1 is tuned high: the delay peak sits above its target frequency. Tune resonator %1 down in frequency.</source>
        <translation>第 %1 腔频率偏高：时延峰高于目标频率。请将第 %1 腔频率调低。</translation>
    </message>
    <message>
        <source>Resonator %1 is tuned low: the delay peak sits below its target frequency. Tune resonator %1 up in frequency.</source>
        <translation>第 %1 腔频率偏低：时延峰低于目标频率。请将第 %1 腔频率调高。</translation>
    </message>
    <message>
        <source>Resonator %1 is tuned high: the upper lobe stands higher than the target's. Tune resonator %1 down in frequency.</source>
        <translation>第 %1 腔频率偏高：高频侧的峰高于目标。请将第 %1 腔频率调低。</translation>
    </message>
    <message>
        <source>Resonator %1 is tuned low: the lower lobe stands higher than the target's. Tune resonator %1 up in frequency.</source>
        <translation>第 %1 腔频率偏低：低频侧的峰高于目标。请将第 %1 腔频率调高。</translation>
    </message>
    <message>
        <source> The centre delay is within tolerance.</source>
        <translation>中心时延在容差之内。</translation>
    </message>
    <message>
        <source>The centre delay is too long: the input coupling is too weak. Strengthen it.</source>
        <translation>中心时延偏长：输入耦合过弱，请加强。</translation>
    </message>
    <message>
        <source>The centre delay is too short: the input coupling is too strong. Weaken it.</source>
        <translation>中心时延偏短：输入耦合过强，请减弱。</translation>
    </message>
    <message>
        <source>The centre delay is too long: the coupling into resonator %1 (between resonators %2 and %1) is too weak. Strengthen it.</source>
        <translation>中心时延偏长：进入第 %1 腔的耦合（第 %2 腔与第 %1 腔之间）过弱，请加强。</translation>
    </message>
    <message>
        <source>The centre delay is too short: the coupling into resonator %1 (between resonators %2 and %1) is too strong. Weaken it.</source>
        <translation>中心时延偏短：进入第 %1 腔的耦合（第 %2 腔与第 %1 腔之间）过强，请减弱。</translation>
    </message>
    <message>
        <source>Within tolerance: every resonator is tuned.</source>
        <translation>在容差之内：所有谐振腔均已调好。</translation>
    </message>
    <message>
        <source>Within tolerance: go on to stage %1.</source>
        <translation>在容差之内：请继续调第 %1 级。</translation>
    </message>
    <message>
        <source> The sweep shows loss (S11 %1 dB at f0) that the lossless target leaves out: give the resonators' unloaded Q.</source>
        <translation>扫描显示有损耗（f0 处 S11 为 %1 dB），无损耗目标未计入：请输入谐振腔的无载 Q。</translation>
    </message>
</context>
</TS>